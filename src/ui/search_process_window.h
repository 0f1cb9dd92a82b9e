#pragma once

#include <string>
#include <vector>

#include "session/scan_runner.h"
#include "ui/progress_window.h"
#include "ui/result_collection.h"

namespace keldrive::ui {

// Collects the found files of the scans whose types the filter names into the owner's
// result collection, then posts 1026 to the owner.
class CSearchProcessWnd : public CPopUpWnd {
  Q_OBJECT

 public:
  CSearchProcessWnd(QWidget* owner, std::vector<LoadedScan*> scans, std::vector<QString> names,
                    std::string filter, ResultCollection& results);

 protected:
  QString CancelQuestion() const override;

 private:
  void Run();
  static std::int32_t OnListProgress(void* context, std::int32_t percent, std::int32_t error);

  QWidget* owner_;
  std::vector<LoadedScan*> scans_;
  std::vector<QString> names_;  // per scan, for the stage text
  std::string filter_;
  ResultCollection& results_;
};

}  // namespace keldrive::ui
