// The main window's recovery of chosen files and its disk imaging.
#include <QFile>
#include <QFileDialog>
#include <algorithm>

#include "session/image_target.h"
#include "session/recovery_plan.h"
#include "ui/create_image_window.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/recover_process_window.h"
#include "ui/ui_texts.h"

namespace keldrive::ui {
void CMainWnd::OnRecover() {
  if (model_->Checked().empty()) {
    CMessageBox::Show(MessageKind::kInformation, this, Texts().Message("MSG0803"));
    return;
  }
  RecoverEntries({model_->Checked().begin(), model_->Checked().end()});
}

void CMainWnd::RecoverEntry(std::size_t entry) {
  RecoverEntries({entry});
}

void CMainWnd::RecoverEntries(const std::vector<std::size_t>& entries) {
  QString folder = choosers_.recoveryFolder
                       ? choosers_.recoveryFolder(this)
                       : QFileDialog::getExistingDirectory(this, "Select location for recovery");
  if (folder.isEmpty()) return;
  while (folder.size() > 1 && (folder.endsWith('/') || folder.endsWith('\\'))) folder.chop(1);
  const std::string target = ToUtf8(folder);
  std::vector<ScanArea> media;
  std::vector<LoadedScan*> loaded;
  std::vector<const ScanRecord*> records;
  for (ScanOutcome& outcome : scans_) {
    media.push_back(outcome.scan.record.area);
    loaded.push_back(&outcome.scan);
    records.push_back(&outcome.scan.record);
  }
  const TargetCheck check = CheckRecoveryTarget(target, media);
  if (check.problem == TargetProblem::kOnScannedMedium) {
    if (CMessageBox::Show(MessageKind::kConfirm, this, Texts().Message("MSG0805")) != 1) return;
  } else if (check.problem != TargetProblem::kNone) {
    CMessageBox::Show(MessageKind::kError, this,
                      Texts().Message("MSG0802") + "\n" + FromUtf8(check.message));
    return;
  }
  std::vector<RecoveryItem> items;
  for (std::size_t entry : entries) {
    const ResultEntry& found = results_.At(entry);
    RecoveryItem item;
    item.scan = found.scan;
    item.record = found.record;
    item.sourcePath = browser_ ? browser_->PathOf(found.scan, found.record) : found.record.Name();
    items.push_back(std::move(item));
  }
  RecoveryOptions options;
  options.target = target;
  CRecoverProcessWnd window(this, PlanRecovery(items, records, options), loaded, target);
  emit popUpOpening(&window);
  window.exec();
}

void CMainWnd::OnCreateImage() {
  QTreeWidgetItem* item = diskList_->currentItem();
  if (item == nullptr) {
    CMessageBox::Show(MessageKind::kInformation, this, Texts().Message("MSG0216"));
    return;
  }
  const MediaRow& row = rows_[static_cast<std::size_t>(RowOfItem(item))];
  if (!row.readable) {
    OfferDiskRights(row);
    return;
  }
  const QString target =
      choosers_.imageTarget
          ? choosers_.imageTarget(this)
          : QFileDialog::getSaveFileName(this, QString(), "disk.img", "Image Files (*.img)");
  if (target.isEmpty()) return;
  ImageSource source;
  source.kind = row.IsImage()                       ? ImageSource::Kind::kImageFile
                : row.kind == MediaRow::Kind::kDisk ? ImageSource::Kind::kWholeDisk
                                                    : ImageSource::Kind::kPartition;
  source.path = row.IsImage()                 ? row.imagePath
                : row.area.devicePath.empty() ? row.area.source.path
                                              : row.area.devicePath;
  source.bytes = row.area.sectors.Count() * row.area.source.sectorBytes;
  const std::string path = ToUtf8(target);
  static const std::map<ImageTargetProblem, const char*> kProblemKeys{
      {ImageTargetProblem::kOnSourceVolume, "MSG0218"},
      {ImageTargetProblem::kTooLargeForFat, "MSG0219"},
      {ImageTargetProblem::kTooLargeForFat32, "MSG0220"},
      {ImageTargetProblem::kNotEnoughSpace, "MSG0221"}};
  const ImageTargetProblem problem = CheckImageTarget(source, path, SystemImageTargetQueries());
  if (problem != ImageTargetProblem::kNone) {
    const auto key = kProblemKeys.find(problem);
    CMessageBox::Show(MessageKind::kWarning, this,
                      key != kProblemKeys.end() ? Texts().Message(key->second)
                                                : "The image cannot be saved as " + target +
                                                      ": choose a new file name on another drive.");
    return;
  }
  CCreateImageProcessWnd window(this, row.area, path);
  emit popUpOpening(&window);
  const int code = window.exec();
  if (code == CPopUpWnd::kDone) {
    if (CMessageBox::Show(MessageKind::kQuestion, this, Texts().Message("MSG0214")) == 1) {
      AddImage(target);
      ChooseMode(RecoveryMode::kDeleted, false);
    }
  } else if (code == CPopUpWnd::kFailed) {
    const ImageCopySummary& summary = window.Summary();
    QString text = Texts().Message("MSG0217");
    if (summary.bytesUnreadable != 0) {
      text += QString(
                  "\n%1 could not be read; they are zeros in the image, which can still be "
                  "searched.")
                  .arg(SizeText(summary.bytesUnreadable));
      AddImage(target);
    }
    if (!summary.message.empty()) text += "\n" + FromUtf8(summary.message);
    CMessageBox::Show(MessageKind::kError, this, text);
  }
}

}  // namespace keldrive::ui
