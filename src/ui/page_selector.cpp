#include "ui/page_selector.h"

#include <QHBoxLayout>

namespace keldrive::ui {
namespace {

constexpr const char* kButtonStyle =
    "QPushButton { color: #505050; background: #F3F3F3; border: 1px solid #DDDDDD; }"
    "QPushButton:checked { color: white; background: #2F80ED; border-color: #2F80ED; }"
    "QPushButton:disabled { color: #B0B0B0; }";

QPushButton* MakeButton(const QString& text, int width, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setFixedWidth(width);
  button->setStyleSheet(kButtonStyle);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

QLabel* MakeGap(QWidget* parent) {
  auto* gap = new QLabel("...", parent);
  gap->setFixedWidth(16);
  gap->setAlignment(Qt::AlignCenter);
  gap->hide();
  return gap;
}

}  // namespace

CPaginationUI::CPaginationUI(QWidget* parent) : QWidget(parent) {
  setObjectName("Pagination");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 2, 0, 2);
  row->setSpacing(3);
  group_ = new QButtonGroup(this);
  group_->setObjectName("PAGINATION");
  group_->setExclusive(true);
  row->addStretch(1);
  prev_ = MakeButton("Prev", 40, this);
  prev_->setObjectName("Prev");
  row->addWidget(prev_);
  for (int i = 0; i < kMaxButtons; ++i) {
    if (i == kLeadingButtons) {
      leftGap_ = MakeGap(this);
      row->addWidget(leftGap_);
    }
    if (i == kLeadingButtons + kMiddleButtons) {
      rightGap_ = MakeGap(this);
      row->addWidget(rightGap_);
    }
    QPushButton* button = MakeButton(QString::number(i + 1), 32, this);
    button->setCheckable(true);
    button->setObjectName(QString("PageButton%1").arg(i + 1));
    button->setProperty("tag", i + 1);
    button->hide();
    group_->addButton(button, i);
    pages_[static_cast<std::size_t>(i)] = button;
    row->addWidget(button);
  }
  next_ = MakeButton("Next", 40, this);
  next_->setObjectName("Next");
  row->addWidget(next_);
  row->addStretch(1);
  connect(prev_, &QPushButton::clicked, this, &CPaginationUI::OnPrev);
  connect(next_, &QPushButton::clicked, this, &CPaginationUI::OnNext);
  connect(group_, &QButtonGroup::idClicked, this, &CPaginationUI::OnPageButton);
}

void CPaginationUI::OnPrev() {
  if (currentPage_ > 1) --currentPage_;
  emit updatePage();
  Layout();
}

void CPaginationUI::OnNext() {
  if (currentPage_ != pageCount_) ++currentPage_;
  emit updatePage();
  Layout();
}

void CPaginationUI::OnPageButton(int index) {
  currentPage_ = pages_[static_cast<std::size_t>(index)]->property("tag").toInt();
  emit updatePage();
  Layout();
}

void CPaginationUI::Number(int index, int page) {
  QPushButton* button = pages_[static_cast<std::size_t>(index)];
  button->setProperty("tag", page);
  button->setText(QString::number(page));
  button->setVisible(true);
  button->setChecked(page == currentPage_);
}

bool CPaginationUI::Layout() {
  if (currentPage_ > pageCount_) return false;
  prev_->setEnabled(currentPage_ > 1);
  next_->setEnabled(currentPage_ < pageCount_);
  if (pageCount_ <= kMaxButtons) {
    for (QPushButton* button : pages_) button->setVisible(false);
    for (int i = 0; i < pageCount_; ++i) Number(i, i + 1);
    leftGap_->setVisible(false);
    rightGap_->setVisible(false);
    return true;
  }
  const int half = (kMaxButtons - 1) / 2;
  const int last = kMaxButtons - 1;
  if (currentPage_ <= half + 1) {
    for (int i = 0; i < kLeadingButtons + kMiddleButtons; ++i) Number(i, i + 1);
    leftGap_->setVisible(false);
    rightGap_->setVisible(true);
    for (int i = 0; i < kTrailingButtons; ++i) Number(last - i, pageCount_ - i);
  } else if (currentPage_ < pageCount_ - half) {
    for (int i = 0; i < kLeadingButtons; ++i) Number(i, i + 1);
    leftGap_->setVisible(true);
    rightGap_->setVisible(true);
    for (int i = 0; i < kTrailingButtons; ++i) Number(last - i, pageCount_ - i);
    const int from = currentPage_ - (kMiddleButtons - 1) / 2;
    for (int i = 0; i < kMiddleButtons; ++i) Number(kLeadingButtons + i, from + i);
  } else {
    for (int i = 0; i < kLeadingButtons; ++i) Number(i, i + 1);
    leftGap_->setVisible(true);
    rightGap_->setVisible(false);
    // From the end: the last page down to page count - middle - 1, nine pages.
    for (int i = 0; i < kMiddleButtons + kTrailingButtons; ++i) Number(last - i, pageCount_ - i);
  }
  return true;
}

QString CPaginationUI::VisibleText() const {
  QStringList items;
  const auto* row = qobject_cast<QHBoxLayout*>(layout());
  for (int i = 0; i < row->count(); ++i) {
    QWidget* widget = row->itemAt(i)->widget();
    if (widget == nullptr || widget->isHidden()) continue;
    if (auto* button = qobject_cast<QPushButton*>(widget)) items << button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) items << label->text();
  }
  return items.join(' ');
}

}  // namespace keldrive::ui
