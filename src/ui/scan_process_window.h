#pragma once

#include <memory>
#include <string>
#include <vector>

#include "session/scan_catalogue.h"
#include "session/scan_runner.h"
#include "ui/progress_window.h"

namespace keldrive::ui {

// One checked medium: what its scan covers and what the user knows it as.
struct ScanTarget {
  std::vector<ScanArea> areas;  // scanned one after another
  std::string name;             // the image path or the device, for the stage text
  bool image = false;
};

// Scans the checked media one after another and posts 1025 to the owner when done, also
// after a stop, so that what was found so far is shown.
class CScanProcessWnd : public CPopUpWnd {
  Q_OBJECT

 public:
  CScanProcessWnd(QWidget* owner, ScanCatalogue& catalogue, std::vector<ScanTarget> targets,
                  RecoveryMode mode);

  // The scans made, in order, each with its loaded scan (also after a stop).
  std::vector<ScanOutcome>& Outcomes() { return outcomes_; }
  // What went wrong when a medium could not be scanned, for the user; empty otherwise.
  const QString& Failure() const { return failure_; }
  bool Stopped() const { return stopped_; }

 protected:
  QString CancelQuestion() const override;
  void WorkerEnded() override;

 private:
  void Run();
  ResultCode OnProgress(const ScanProgress& progress);

  QWidget* owner_;
  ScanCatalogue& catalogue_;
  std::vector<ScanTarget> targets_;
  RecoveryMode mode_;
  std::vector<ScanOutcome> outcomes_;
  QString failure_;
  bool stopped_ = false;
  std::uint64_t foundBefore_ = 0;  // by the areas scanned before this one
};

}  // namespace keldrive::ui
