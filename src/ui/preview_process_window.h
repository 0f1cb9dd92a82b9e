#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/found_file.h"
#include "engine/recovery_engine.h"
#include "ui/progress_window.h"

namespace keldrive::ui {

// Prepares one found file for its preview with the engine's ExtractForPreview: into a
// temporary file, or into `buffer`. Stopping asks first (MSG0903); the copy waits while
// the question is open and ends on a yes.
class CPreviewProcessWnd : public CPopUpWnd {
  Q_OBJECT

 public:
  CPreviewProcessWnd(QWidget* owner, IFileRecoveryParse& engine, FoundFile record,
                     std::span<std::uint8_t> buffer);

  ResultCode Result() const { return result_; }
  // The temporary file, or empty when the bytes went to the buffer.
  const std::string& TempPath() const { return tempPath_; }
  std::uint32_t BufferedBytes() const { return size_; }

 protected:
  QString CancelQuestion() const override;

 private:
  void Run();
  static std::int32_t OnProgress(void* context, std::int32_t percent, std::int32_t current);

  IFileRecoveryParse& engine_;
  FoundFile record_;
  std::span<std::uint8_t> buffer_;
  ResultCode result_ = result::kSuccess;
  std::string tempPath_;
  std::uint32_t size_ = 0;
};

}  // namespace keldrive::ui
