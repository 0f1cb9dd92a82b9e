#pragma once

#include <string>

#include "disk/disk_image_job.h"
#include "engine/recovery_engine.h"
#include "session/scan_area.h"
#include "ui/progress_window.h"

namespace keldrive::ui {

// Copies a disk, partition or image into an image file past unreadable sectors, with a
// map beside it so that a stopped copy can be carried on.
class CCreateImageProcessWnd : public CPopUpWnd {
  Q_OBJECT

 public:
  CCreateImageProcessWnd(QWidget* owner, ScanArea source, std::string target);

  ResultCode Result() const { return result_; }
  const ImageCopySummary& Summary() const { return summary_; }

 protected:
  QString CancelQuestion() const override;

 private:
  void Run();
  static std::int32_t OnProgress(void* context, std::int32_t percent, std::uint64_t done,
                                 std::uint64_t total, std::int32_t secondsLeft,
                                 const ImageCopyState& state);

  ScanArea source_;
  std::string target_;
  ResultCode result_ = result::kSuccess;
  ImageCopySummary summary_;
};

}  // namespace keldrive::ui
