#pragma once

#include <string>
#include <vector>

#include "session/recovery_plan.h"
#include "ui/progress_window.h"

namespace keldrive::ui {

// Writes the checked files into the target folder, one after another, listing each with
// how it ended; failures come first, in red, with the reason in words.
class CRecoverProcessWnd : public CPopUpWnd {
  Q_OBJECT

 public:
  CRecoverProcessWnd(QWidget* owner, std::vector<RecoveryJob> jobs, std::vector<LoadedScan*> scans,
                     std::string target);

  // Every file written or tried, in order.
  const std::vector<FileOutcome>& Outcomes() const { return outcomes_; }
  int Done() const { return done_; }
  int Failed() const { return failed_; }

 protected:
  QString CancelQuestion() const override;
  void WorkerEnded() override;

 private:
  void Run();
  void AddDetail(const FileOutcome& outcome);
  void ToggleDetail();

  std::vector<RecoveryJob> jobs_;
  std::vector<LoadedScan*> scans_;
  std::string target_;
  std::vector<FileOutcome> outcomes_;
  int done_ = 0;
  int failed_ = 0;
  QSize initialSize_;
};

}  // namespace keldrive::ui
