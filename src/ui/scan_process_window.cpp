#include "ui/scan_process_window.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include "app/formatting.h"
#include "ui/message_box.h"
#include "ui/ui_texts.h"
#include "ui/window_messages.h"

namespace keldrive::ui {
namespace {

QString FileNameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return FromUtf8(slash == std::string::npos ? path : path.substr(slash + 1));
}

QString StageText(const ScanTarget& target, const ScanArea& area) {
  if (target.image) return Texts().Message("MSG0703") + " " + FileNameOf(target.name);
  const std::string number = std::to_string(area.partitionNumber);
  return Texts().Message("MSG0702", {number});
}

}  // namespace

CScanProcessWnd::CScanProcessWnd(QWidget* owner, ScanCatalogue& catalogue,
                                 std::vector<ScanTarget> targets, RecoveryMode mode)
    : CPopUpWnd(owner, "ScanProcessWnd", "ScanWnd", 450, 250),
      owner_(owner),
      catalogue_(catalogue),
      targets_(std::move(targets)),
      mode_(mode) {
  Ctl<QLabel>("sectors")->hide();
  Ctl<QLabel>("totalfile")->hide();
  Ctl<QLabel>("time")->setText(Texts().Message("MSG0705"));
  StartWorker([this] { Run(); });
}

QString CScanProcessWnd::CancelQuestion() const {
  return Texts().Message("MSG0709");
}

void CScanProcessWnd::Run() {
  for (const ScanTarget& target : targets_) {
    for (const ScanArea& area : target.areas) {
      // A stop is heard through the scan's progress, so that even a scan stopped at once
      // is recorded as stopped and its (empty) results are shown.
      Post([this, text = StageText(target, area)] { Ctl<QLabel>("stage")->setText(text); });
      ScanRequest request;
      request.area = area;
      request.mode = mode_;
      request.argument = target.name;
      request.askResume = [this](const ScanRecord&) {
        // Asked over the scan window: hiding a dialog would end its exec() and with it
        // the scan's wait for the answer.
        return Ask([this] {
                 return CMessageBox::Show(MessageKind::kQuestion, this,
                                          Texts().Message("MSG1206"));
               }) == 1;
      };
      ScanOutcome outcome = RunScan(catalogue_, request, [this](const ScanProgress& progress) {
        return OnProgress(progress);
      });
      const ResultCode rc = outcome.result;
      if (outcome.scan.engine) foundBefore_ += outcome.scan.record.found;
      if (rc != result::kSuccess && rc != ResultCancelled && !outcome.scan.engine) {
        failure_ = FromUtf8(target.name + ": " + outcome.message);
        outcomes_.push_back(std::move(outcome));
        Post([this] { done(kFailed); });
        return;
      }
      outcomes_.push_back(std::move(outcome));
      if (rc == ResultCancelled) {
        stopped_ = true;
        break;
      }
    }
    if (stopped_ || CancelRequested()) {
      stopped_ = true;
      break;
    }
  }
  QCoreApplication::postEvent(owner_, new QEvent(kScanEndedEvent));
  Post([this] { done(kDone); });
}

ResultCode CScanProcessWnd::OnProgress(const ScanProgress& progress) {
  if (!Go()) return ResultCancelled;
  const int value = std::clamp(progress.percent, 0, 100);
  const QString time =
      progress.remainingSeconds < 0
          ? Texts().Message("MSG0705")
          : Texts().Message("MSG0708") + " " + FromUtf8(FormatDuration(progress.remainingSeconds));
  const std::uint64_t found = foundBefore_ + progress.found;
  Post([this, value, time, progress, found] {
    Ctl<QProgressBar>("progress")->setValue(value);
    Ctl<QLabel>("time")->setText(time);
    Ctl<QLabel>("percent")->setText(Texts().Message("MSG0704") + QString(" %1%").arg(value));
    auto* sectors = Ctl<QLabel>("sectors");
    auto* files = Ctl<QLabel>("totalfile");
    const bool counted = progress.sectorsTotal != 0;
    sectors->setVisible(counted);
    files->setVisible(counted);
    if (counted) {
      sectors->setText(Texts().Message("MSG0706") +
                       QString(" %1 / %2").arg(progress.sectorsDone).arg(progress.sectorsTotal));
      files->setText(Texts().Message("MSG0707") + QString(" %1").arg(found));
    }
  });
  return result::kSuccess;
}

void CScanProcessWnd::WorkerEnded() {}

}  // namespace keldrive::ui
