#include "ui/preview_window.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/skin.h"

namespace keldrive::ui {

CPreviewWnd::CPreviewWnd(QWidget* owner, std::vector<std::size_t> entries, std::size_t position,
                         Hooks hooks)
    : QDialog(owner),
      entries_(std::move(entries)),
      position_(std::min(position, entries_.size() - 1)),
      hooks_(std::move(hooks)) {
  setObjectName("PreviewWnd");
  setModal(true);
  LoadSkin("PreviewWnd", *this);
  resize(600, 500);
  host_ = Control<QWidget>(*this, "PreviewHost");
  auto* layout = new QVBoxLayout(host_);
  layout->setContentsMargins(0, 0, 0, 0);
  const bool several = entries_.size() > 1;
  Control<QPushButton>(*this, "BtnPrevious")->setEnabled(several);
  Control<QPushButton>(*this, "BtnNext")->setEnabled(several);
  connect(Control<QPushButton>(*this, "BtnPrevious"), &QPushButton::clicked, this,
          &CPreviewWnd::Previous);
  connect(Control<QPushButton>(*this, "BtnNext"), &QPushButton::clicked, this, &CPreviewWnd::Next);
  connect(Control<QPushButton>(*this, "BtnRecoverThis"), &QPushButton::clicked, this,
          [this] { hooks_.recover(CurrentEntry()); });
  connect(Control<QPushButton>(*this, "closebtn"), &QPushButton::clicked, this,
          &CPreviewWnd::accept);
  ShowCurrent();
}

void CPreviewWnd::Next() {
  position_ = (position_ + 1) % entries_.size();
  ShowCurrent();
}

void CPreviewWnd::Previous() {
  position_ = (position_ + entries_.size() - 1) % entries_.size();
  ShowCurrent();
}

void CPreviewWnd::ShowCurrent() {
  // The old viewer goes first: the owner then removes its temporary file.
  delete viewer_;
  viewer_ = nullptr;
  const QString title = hooks_.title(CurrentEntry());
  setWindowTitle(title);
  Control<QLabel>(*this, "PreviewTitle")
      ->setText(entries_.size() > 1
                    ? QString("%1 (%2/%3)").arg(title).arg(position_ + 1).arg(entries_.size())
                    : title);
  viewer_ = hooks_.show(CurrentEntry(), host_);
  if (viewer_ != nullptr) {
    host_->layout()->addWidget(viewer_);
    viewer_->show();
  }
}

}  // namespace keldrive::ui
