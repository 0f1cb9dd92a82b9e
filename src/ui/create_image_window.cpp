#include "ui/create_image_window.h"

#include <QLabel>
#include <QProgressBar>

#include "app/formatting.h"
#include "ui/ui_texts.h"

namespace keldrive::ui {

CCreateImageProcessWnd::CCreateImageProcessWnd(QWidget* owner, ScanArea source, std::string target)
    : CPopUpWnd(owner, "CreateImageProcessWnd", "CreateImageWnd", 450, 220),
      source_(std::move(source)),
      target_(std::move(target)) {
  Ctl<QLabel>("time")->setText(Texts().Message("MSG0304"));
  StartWorker([this] { Run(); });
}

QString CCreateImageProcessWnd::CancelQuestion() const {
  return Texts().Message("MSG0306");
}

std::int32_t CCreateImageProcessWnd::OnProgress(void* context, std::int32_t percent,
                                                std::uint64_t done, std::uint64_t total,
                                                std::int32_t secondsLeft,
                                                const ImageCopyState& state) {
  auto* self = static_cast<CCreateImageProcessWnd*>(context);
  if (!self->Go()) return ResultCancelled;
  const int value = std::clamp(percent, 0, 100);
  const QString time =
      secondsLeft < 0 ? Texts().Message("MSG0304")
                      : Texts().Message("MSG0305") + " " + FromUtf8(FormatDuration(secondsLeft));
  const std::uint64_t bad = state.badSectors;
  self->Post([self, value, time, done, total, bad] {
    self->Ctl<QProgressBar>("progress")->setValue(value);
    self->Ctl<QLabel>("percent")->setText(Texts().Message("MSG0301") + QString(" %1%").arg(value));
    self->Ctl<QLabel>("time")->setText(time);
    QString sectors = Texts().Message("MSG0303") + QString(" %1 / %2").arg(done).arg(total);
    if (bad != 0) sectors += QString("  (%1 unreadable, left as zeros)").arg(bad);
    self->Ctl<QLabel>("sectors")->setText(sectors);
  });
  return 0;
}

void CCreateImageProcessWnd::Run() {
  Post([this] {
    Ctl<QLabel>("stage")->setText(Texts().Message("MSG0302") + " " + FromUtf8(target_));
  });
  SectorDevice device;
  result_ = OpenAreaMedium(source_.source, device);
  if (result_ == result::kSuccess) {
    const SectorRun area =
        source_.IsWhole() ? SectorRun::Between(0, device.totalSectors) : source_.sectors;
    ImageCopyOptions options;
    options.mapPath = DefaultMapPath(target_);
    result_ = CopyDiskToImage(std::move(device),
                              static_cast<std::int32_t>(source_.source.sectorBytes), area, target_,
                              options, &CCreateImageProcessWnd::OnProgress, this, summary_);
  }
  const int code = result_ == result::kSuccess  ? kDone
                   : result_ == ResultCancelled ? kCancelled
                                                : kFailed;
  Post([this, code] { done(code); });
}

}  // namespace keldrive::ui
