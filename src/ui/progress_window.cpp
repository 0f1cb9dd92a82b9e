#include "ui/progress_window.h"

#include <QMetaObject>
#include <QPushButton>

#include "ui/message_box.h"
#include "ui/ui_texts.h"

namespace keldrive::ui {

CPopUpWnd::CPopUpWnd(QWidget* owner, const QString& skin, const std::string& captionSection,
                     int width, int height)
    : QDialog(owner) {
  setObjectName(skin);
  setModal(true);
  LoadSkin(skin, *this);
  Texts().ApplyCaptions(*this, captionSection);
  resize(width, height);
  for (const char* name : {"cancelbtn", "closebtn", "CancelBtn"}) {
    if (auto* button = findChild<QPushButton*>(name)) {
      connect(button, &QPushButton::clicked, this, &CPopUpWnd::reject);
    }
  }
}

CPopUpWnd::~CPopUpWnd() {
  if (worker_ != nullptr) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      cancel_ = true;
    }
    worker_->wait();
  }
}

bool CPopUpWnd::CancelRequested() {
  std::lock_guard<std::mutex> guard(lock_);
  return cancel_;
}

void CPopUpWnd::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_ || !body_) return;
  started_ = true;
  worker_ = QThread::create([this] {
    body_();
    finished_ = true;
  });
  connect(worker_, &QThread::finished, this, [this] { WorkerEnded(); });
  worker_->start();
}

void CPopUpWnd::StartWorker(std::function<void()> body) {
  body_ = std::move(body);
}

bool CPopUpWnd::Go() {
  std::lock_guard<std::mutex> guard(lock_);
  return !cancel_;
}

void CPopUpWnd::Post(std::function<void()> update) {
  QMetaObject::invokeMethod(
      this,
      [this, update = std::move(update)] {
        update();
        emit progressShown();
      },
      Qt::QueuedConnection);
}

int CPopUpWnd::Ask(std::function<int()> question) {
  int answer = 0;
  QMetaObject::invokeMethod(
      this, [&answer, &question] { answer = question(); }, Qt::BlockingQueuedConnection);
  return answer;
}

bool CPopUpWnd::AskToCancel(const QString& question) {
  if (finished_) return false;
  std::unique_lock<std::mutex> guard(lock_);
  // The worker blocks at its next Go() while the question is open, so the work pauses.
  if (CMessageBox::Show(MessageKind::kQuestion, this, question) != 1) return false;
  cancel_ = true;
  return true;
}

void CPopUpWnd::reject() {
  if (finished_ || worker_ == nullptr) {
    QDialog::reject();
    return;
  }
  // The worker ends at its next Go() and closes the window itself.
  if (AskToCancel(CancelQuestion())) {
    for (const char* name : {"cancelbtn", "CancelBtn"}) {
      if (auto* button = findChild<QPushButton*>(name)) button->setEnabled(false);
    }
  }
}

}  // namespace keldrive::ui
