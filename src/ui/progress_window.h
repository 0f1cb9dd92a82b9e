#pragma once

#include <QDialog>
#include <QThread>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "ui/skin.h"

namespace keldrive::ui {

// A modal progress window with one worker thread. The worker reports through Post(),
// which runs its update on the GUI thread: widgets are never touched from the worker.
// Cancelling asks first while holding the window's lock, so the worker waits at its next
// Go() until the question is answered; on a yes Go() answers false from then on.
class CPopUpWnd : public QDialog {
  Q_OBJECT

 public:
  // Results the window closes with.
  static constexpr int kDone = 1;
  static constexpr int kCancelled = 2;
  static constexpr int kFailed = 3;

  CPopUpWnd(QWidget* owner, const QString& skin, const std::string& captionSection, int width,
            int height);
  ~CPopUpWnd() override;

  // Whether the user asked to stop.
  bool CancelRequested();
  bool Finished() const { return finished_; }

 signals:
  // After each progress update reached the window (for tests and screenshots).
  void progressShown();

 protected:
  template <typename T>
  T* Ctl(const char* name) {
    return Control<T>(*this, name);
  }

  // Starts the worker once the window is shown; it runs `body` and then `whenDone` on the
  // GUI thread.
  void StartWorker(std::function<void()> body);
  // Worker side: false once the user stopped the work (waits while the question is open).
  bool Go();
  // Worker side: runs `update` on the GUI thread, after which progressShown() is emitted.
  void Post(std::function<void()> update);
  // Worker side: runs `question` on the GUI thread and waits for its answer.
  int Ask(std::function<int()> question);
  // GUI side: asks `question`; on a yes sets the cancel flag. True when it was set.
  bool AskToCancel(const QString& question);
  // GUI side, called on the GUI thread after the worker ended.
  virtual void WorkerEnded() {}
  // The text of the stop question; empty closes without asking.
  virtual QString CancelQuestion() const = 0;

  void reject() override;
  void showEvent(QShowEvent* event) override;

  std::mutex lock_;
  bool cancel_ = false;
  std::atomic<bool> finished_{false};

 private:
  std::function<void()> body_;
  QThread* worker_ = nullptr;
  bool started_ = false;
};

}  // namespace keldrive::ui
