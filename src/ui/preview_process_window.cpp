#include "ui/preview_process_window.h"

#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "ui/ui_texts.h"

namespace keldrive::ui {

CPreviewProcessWnd::CPreviewProcessWnd(QWidget* owner, IFileRecoveryParse& engine, FoundFile record,
                                       std::span<std::uint8_t> buffer)
    : CPopUpWnd(owner, "PreviewProcessWnd", "PreviewProcessWnd", 420, 160),
      engine_(engine),
      record_(std::move(record)),
      buffer_(buffer) {
  Ctl<QLabel>("stage")->setText(Texts().Message("MSG0901"));
  Ctl<QLabel>("current")->setText(Texts().Message("MSG0902") + " " + FromUtf8(record_.Name()));
  StartWorker([this] { Run(); });
}

QString CPreviewProcessWnd::CancelQuestion() const {
  return Texts().Message("MSG0903");
}

std::int32_t CPreviewProcessWnd::OnProgress(void* context, std::int32_t percent,
                                            std::int32_t current) {
  auto* self = static_cast<CPreviewProcessWnd*>(context);
  if (!self->Go()) return ResultCancelled;  // waits here while the stop question is open
  const int value = std::clamp(percent, 0, 100);
  self->Post([self, value] { self->Ctl<QProgressBar>("progress")->setValue(value); });
  return current;
}

void CPreviewProcessWnd::Run() {
  size_ = static_cast<std::uint32_t>(buffer_.size());
  result_ = engine_.ExtractForPreview(record_, tempPath_, buffer_, size_,
                                      &CPreviewProcessWnd::OnProgress, this);
  if (!Go()) result_ = ResultCancelled;
  Post([this] { done(result_ == ResultCancelled ? kCancelled : kDone); });
}

}  // namespace keldrive::ui
