#include "ui/recover_process_window.h"

#include <QDesktopServices>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

#include "ui/ui_texts.h"

namespace keldrive::ui {

CRecoverProcessWnd::CRecoverProcessWnd(QWidget* owner, std::vector<RecoveryJob> jobs,
                                       std::vector<LoadedScan*> scans, std::string target)
    : CPopUpWnd(owner, "RecoverProcessWnd", "RecoverProcessWnd", 500, 250),
      jobs_(std::move(jobs)),
      scans_(std::move(scans)),
      target_(std::move(target)) {
  Ctl<QPushButton>("FinishBtn")->hide();
  Ctl<QTreeWidget>("DetailList")->hide();
  Ctl<QTreeWidget>("DetailList")->setColumnWidth(0, 300);
  initialSize_ = size();
  connect(Ctl<QPushButton>("FinishBtn"), &QPushButton::clicked, this, [this] { done(kDone); });
  connect(Ctl<QPushButton>("OpenBtn"), &QPushButton::clicked, this,
          [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(FromUtf8(target_))); });
  connect(Ctl<QPushButton>("DetailBtn"), &QPushButton::clicked, this,
          &CRecoverProcessWnd::ToggleDetail);
  StartWorker([this] { Run(); });
}

QString CRecoverProcessWnd::CancelQuestion() const {
  return Texts().Message("MSG1103");
}

void CRecoverProcessWnd::Run() {
  const int total = static_cast<int>(jobs_.size());
  for (std::size_t i = 0; i < jobs_.size() && Go(); ++i) {
    // One job at a time, so every file is listed as soon as it ends.
    const RecoveryResult result =
        RunRecovery({jobs_[i]}, scans_, [this](const RecoveryProgress& progress) -> ResultCode {
          if (!Go()) return ResultCancelled;
          const int percent = std::clamp(progress.percent, 0, 100);
          Post([this, percent, target = progress.target] {
            Ctl<QProgressBar>("progress")->setValue(percent);
            Ctl<QLabel>("current")->setText(FromUtf8(target));
            Ctl<QLabel>("percent")->setText(Texts().Message("MSG1101") +
                                            QString(" %1%").arg(percent));
          });
          return result::kSuccess;
        });
    for (const FileOutcome& outcome : result.files) {
      Post([this, outcome, total] {
        outcomes_.push_back(outcome);
        ++done_;
        if (outcome.code != result::kSuccess) ++failed_;
        AddDetail(outcome);
        Ctl<QLabel>("recovered")
            ->setText(Texts().Message("MSG1102",
                                      {std::to_string(done_), std::to_string(total),
                                       std::to_string(done_ - failed_), std::to_string(failed_)}));
      });
    }
    if (result.cancelled) break;
  }
}

void CRecoverProcessWnd::AddDetail(const FileOutcome& outcome) {
  auto* list = Ctl<QTreeWidget>("DetailList");
  const QString path =
      FromUtf8(outcome.incompleteAs.empty() ? outcome.target : outcome.incompleteAs);
  if (outcome.code == result::kSuccess) {
    new QTreeWidgetItem(list, {path, "Success"});
    return;
  }
  auto* item = new QTreeWidgetItem({path, FromUtf8(DescribeRecoveryFailure(outcome))});
  item->setForeground(0, QBrush(QColor(255, 0, 0)));
  item->setForeground(1, QBrush(QColor(255, 0, 0)));
  item->setToolTip(1, item->text(1));
  list->insertTopLevelItem(0, item);
  if (list->isHidden()) ToggleDetail();  // a failure is never hidden from the user
}

void CRecoverProcessWnd::ToggleDetail() {
  auto* list = Ctl<QTreeWidget>("DetailList");
  list->setVisible(!list->isVisible());
  resize(list->isVisible() ? initialSize_ + QSize(150, 300) : initialSize_);
}

void CRecoverProcessWnd::WorkerEnded() {
  Ctl<QPushButton>("FinishBtn")->show();
  Ctl<QPushButton>("CancelBtn")->hide();
  if (CancelRequested()) done(kCancelled);
}

}  // namespace keldrive::ui
