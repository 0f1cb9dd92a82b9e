#include "ui/main_window.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "app/formatting.h"
#include "platform/device_watch.h"
#include "session/recovery_plan.h"
#include "ui/category_nodes.h"
#include "ui/create_image_window.h"
#include "ui/device_watcher.h"
#include "ui/message_box.h"
#include "ui/page_selector.h"
#include "ui/scan_process_window.h"
#include "ui/search_process_window.h"
#include "ui/skin.h"
#include "ui/ui_texts.h"
#include "ui/window_messages.h"

namespace keldrive::ui {

CMainWnd::CMainWnd(std::string scanLogRoot, QWidget* parent)
    : QWidget(parent),
      scanLogRoot_(std::move(scanLogRoot)),
      catalogue_(std::make_unique<ScanCatalogue>(scanLogRoot_)) {
  setObjectName("FileRecoveryWnd");
  form_ = LoadSkin("MainWindow", *this);
  setWindowTitle("Keldrive");
  resize(980, 620);
  diskList_ = Control<QTreeWidget>(*this, "DiskList");
  typeTree_ = Control<QTreeWidget>(*this, "TypeTree");
  fileView_ = Control<QTableView>(*this, "FileList");
  model_ = std::make_unique<FileListModel>(
      results_, [this](const ResultEntry& entry) { return PathOf(entry); });
  fileView_->setModel(model_.get());
  fileView_->horizontalHeader()->setSectionsClickable(true);
  fileView_->horizontalHeader()->setSortIndicatorShown(true);
  fileView_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  fileView_->horizontalHeader()->setStretchLastSection(true);
  fileView_->verticalHeader()->hide();
  fileView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  fileView_->setSelectionMode(QAbstractItemView::SingleSelection);
  fileView_->setColumnWidth(FileListModel::kFileName, 230);
  auto* pagerHost = Control<QWidget>(*this, "PageSelector");
  pager_ = new CPaginationUI(pagerHost);
  auto* pagerLayout = new QVBoxLayout(pagerHost);
  pagerLayout->setContentsMargins(0, 0, 0, 0);
  pagerLayout->addWidget(pager_);
  // The file list gets the room; the type tree and the preview what they need.
  auto* splitter = Control<QSplitter>(*this, "ResultSplitter");
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setStretchFactor(2, 0);
  splitter->setSizes({190, 600, 240});
  Control<QTextBrowser>(*this, "PreviewEdit")
      ->setPlaceholderText("Click a file to see what it holds before you recover it.");
  auto* previewLayout = new QVBoxLayout(Control<QWidget>(*this, "PreviewHost"));
  previewLayout->setContentsMargins(0, 0, 0, 0);
  Control<QLabel>(*this, "TxtMainInfo")->setText(Texts().Message("MSG0101"));
  FillFileTypeOptions();
  Connect();
  ApplyCaptions();
  RebuildMediaList();
  watcher_ = new DeviceWatcher(this);
  connect(watcher_, &DeviceWatcher::devicesChanged, this, &CMainWnd::RebuildMediaList);
  Control<QPushButton>(*this, "TabRecover")->setEnabled(false);
  ShowPage(kCategoryPage);
}

CMainWnd::~CMainWnd() {
  ClearPreview();
}

void CMainWnd::Connect() {
  const auto click = [this](const char* name, auto handler) {
    connect(Control<QAbstractButton>(*this, name), &QAbstractButton::clicked, this, handler);
  };
  click("BtnDeletedRecovery", [this] { ChooseMode(RecoveryMode::kDeleted, false); });
  click("BtnFormattedRecovery", [this] { ChooseMode(RecoveryMode::kFormatted, false); });
  click("BtnDeepRecovery", [this] { ChooseMode(RecoveryMode::kDeep, false); });
  click("BtnStart", [this] {
    ChooseMode(mode_ == RecoveryMode::kDeleted ? RecoveryMode::kDeep : mode_, false);
  });
  click("BtnCreateImageMode", [this] { ChooseMode(mode_, true); });
  click("BtnScan", [this] { OnScan(); });
  click("BtnRecover", [this] { OnRecover(); });
  click("BtnPrev", [this] { OnPrev(); });
  click("BtnNext", [this] { OnNext(); });
  click("BtnLoadImage", [this] { OnLoadImage(); });
  click("BtnCreateImage", [this] { OnCreateImage(); });
  click("BtnAssist", [this] { ShowAssistMenu(); });
  click("TabScan", [this] { ShowPage(imageMode_ ? kMediaPage : kCategoryPage); });
  click("TabRecover", [this] { ShowPage(kResultPage); });
  // Hovering a mode button explains the mode.
  for (const char* name :
       {"BtnDeletedRecovery", "BtnFormattedRecovery", "BtnDeepRecovery", "BtnCreateImageMode"}) {
    Control<QWidget>(*this, name)->installEventFilter(this);
  }
  connect(diskList_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { ShowMediumInfo(RowOfItem(item)); });
  connect(diskList_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (item->childCount() > 0) {
      item->setExpanded(!item->isExpanded());
    } else if (!imageMode_) {
      OnScan();
    }
  });
  connect(Control<QCheckBox>(*this, "ChkRecoverAll"), &QCheckBox::toggled, this,
          [this](bool checked) {
            for (const CategoryNode& node : kCategoryNodes) {
              Control<QCheckBox>(*this, node.panelBox)->setChecked(checked);
            }
          });
  for (const CategoryNode& node : kCategoryNodes) {
    connect(Control<QCheckBox>(*this, node.panelBox), &QCheckBox::toggled, this,
            &CMainWnd::OnCategoryBoxChanged);
  }
  connect(typeTree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { ShowNode(item); });
  connect(typeTree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
    // The node's check box checks or unchecks all its files.
    if (item != typeTree_->currentItem()) ShowNode(item);
    model_->CheckAll(item->checkState(0) == Qt::Checked);
  });
  connect(fileView_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &CMainWnd::ClickHeader);
  connect(pager_, &CPaginationUI::updatePage, this,
          [this] { model_->SetPage(pager_->CurrentPage()); });
  connect(model_.get(), &FileListModel::checksChanged, this, &CMainWnd::UpdateSelectionSummary);
  connect(Control<QCheckBox>(*this, "ChkAllListSel"), &QCheckBox::clicked, this,
          [this](bool checked) { model_->CheckAll(checked); });
  connect(fileView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& index) { ShowPreview(index); });
  connect(fileView_, &QTableView::doubleClicked, this, [this] { OpenPreviewWindow(); });
  click("BtnPreviewWindow", [this] { OpenPreviewWindow(); });
}

void CMainWnd::ApplyCaptions() {
  Texts().ApplyCaptions(*this, "MainWnd");
  Control<QLabel>(*this, "LblProductName")->setText(Texts().Message("MSG1209"));
  QStringList headers;
  for (const char* key : {"MSG1211", "MSG1212", "MSG1213", "MSG1214", "MSG1215", "MSG1216"}) {
    headers << Texts().Message(key);
  }
  model_->SetHeaderTexts(headers);
  diskList_->setHeaderLabels(
      {Texts().Message("MSG1211"), Texts().Message("MSG0205"), Texts().Message("MSG1212")});
  pager_->PrevButton()->setText(Texts().Message("MSG1218"));
  pager_->NextButton()->setText(Texts().Message("MSG1219"));
  if (typeTree_->topLevelItemCount() > 0) FillTypeTree();
  UpdateSelectionSummary();
}

bool CMainWnd::event(QEvent* event) {
  switch (static_cast<int>(event->type())) {
    case kScanEndedEvent:
      OnScanEnded();
      return true;
    case kSearchEndedEvent:
      OnResultsCollected();
      return true;
    case kLanguageChangedEvent:
      ApplyCaptions();
      return true;
    default:
      return QWidget::event(event);
  }
}

bool CMainWnd::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Enter) {
    static const std::map<QString, const char*> kExplanations{{"BtnDeletedRecovery", "MSG0101"},
                                                              {"BtnFormattedRecovery", "MSG0102"},
                                                              {"BtnDeepRecovery", "MSG0103"},
                                                              {"BtnCreateImageMode", "MSG0104"}};
    if (const auto found = kExplanations.find(watched->objectName());
        found != kExplanations.end()) {
      Control<QLabel>(*this, "TxtMainInfo")->setText(Texts().Message(found->second));
    }
  }
  return QWidget::eventFilter(watched, event);
}

int CMainWnd::CurrentPage() const {
  return Control<QStackedWidget>(*const_cast<CMainWnd*>(this), "TabPage")->currentIndex();
}

void CMainWnd::ShowPage(int page) {
  Control<QStackedWidget>(*this, "TabPage")->setCurrentIndex(page);
  const bool media = page == kMediaPage || page == kFileTypePage;
  Control<QWidget>(*this, "BtnScan")->setVisible(media && !imageMode_);
  Control<QWidget>(*this, "BtnCreateImage")->setVisible(page == kMediaPage && imageMode_);
  Control<QWidget>(*this, "BtnRecover")->setVisible(page == kResultPage);
  Control<QWidget>(*this, "SelectedFileInfo")->setVisible(page == kResultPage);
  Control<QWidget>(*this, "BtnPrev")->setVisible(page == kMediaPage || page == kFileTypePage);
  Control<QWidget>(*this, "BtnNext")
      ->setVisible(page == kMediaPage && mode_ != RecoveryMode::kDeleted && !imageMode_);
  Control<QAbstractButton>(*this, "TabScan")->setChecked(page != kResultPage);
  Control<QAbstractButton>(*this, "TabRecover")->setChecked(page == kResultPage);
}

void CMainWnd::ChooseMode(RecoveryMode mode, bool imageMode) {
  mode_ = mode;
  imageMode_ = imageMode;
  for (const char* name :
       {"BtnDeletedRecovery", "BtnFormattedRecovery", "BtnDeepRecovery", "BtnCreateImageMode"}) {
    Control<QAbstractButton>(*this, name)->setChecked(false);
  }
  const char* chosen = imageMode                          ? "BtnCreateImageMode"
                       : mode == RecoveryMode::kDeleted   ? "BtnDeletedRecovery"
                       : mode == RecoveryMode::kFormatted ? "BtnFormattedRecovery"
                                                          : "BtnDeepRecovery";
  Control<QAbstractButton>(*this, chosen)->setChecked(true);
  ShowPage(kMediaPage);
}

void CMainWnd::RebuildMediaList() {
  std::vector<MediaRow> rows = MachineRows();
  for (std::size_t i = 0; i < images_.size(); ++i) {
    std::string ignored;
    AppendImageRows(images_[i], static_cast<int>(i + 1), rows, ignored);
  }
  rows_ = std::move(rows);
  FillMediaTree(*diskList_, rows_);
}

bool CMainWnd::AddImage(const QString& path) {
  const std::string file = ToUtf8(QFileInfo(path).absoluteFilePath());
  std::string message;
  std::vector<MediaRow> probe;
  if (!AppendImageRows(file, 1, probe, message)) {
    CMessageBox::Show(MessageKind::kError, this, FromUtf8(message) + "\n" + path);
    return false;
  }
  if (std::find(images_.begin(), images_.end(), file) == images_.end()) images_.push_back(file);
  RebuildMediaList();
  // The new image is checked and selected, ready to scan.
  for (QTreeWidgetItemIterator it(diskList_); *it != nullptr; ++it) {
    const int row = RowOfItem(*it);
    if (row >= 0 && rows_[static_cast<std::size_t>(row)].kind == MediaRow::Kind::kImage &&
        rows_[static_cast<std::size_t>(row)].imagePath == file) {
      (*it)->setCheckState(0, Qt::Checked);
      diskList_->setCurrentItem(*it);
    }
  }
  return true;
}

std::vector<int> CMainWnd::CheckedRows() const {
  std::vector<int> rows;
  for (QTreeWidgetItemIterator it(diskList_); *it != nullptr; ++it) {
    if ((*it)->checkState(0) == Qt::Checked) rows.push_back(RowOfItem(*it));
  }
  if (rows.empty() && diskList_->currentItem() != nullptr) {
    rows.push_back(RowOfItem(diskList_->currentItem()));
  }
  // A checked disk or image covers its checked volumes.
  std::vector<int> kept;
  for (int row : rows) {
    const int parent = rows_[static_cast<std::size_t>(row)].parent;
    if (parent < 0 || std::find(rows.begin(), rows.end(), parent) == rows.end()) {
      kept.push_back(row);
    }
  }
  return kept;
}

void CMainWnd::ShowMediumInfo(int rowIndex) {
  std::array<QLabel*, 10> labels{};
  for (std::size_t i = 0; i < labels.size(); ++i) {
    labels[i] = Control<QLabel>(*this, ("Label" + std::to_string(i + 1)).c_str());
    labels[i]->clear();
  }
  if (rowIndex < 0 || static_cast<std::size_t>(rowIndex) >= rows_.size()) return;
  const MediaRow& row = rows_[static_cast<std::size_t>(rowIndex)];
  const std::uint64_t bytes = row.area.sectors.Count() * row.area.source.sectorBytes;
  if (row.kind == MediaRow::Kind::kImage) {
    labels[0]->setText(Texts().Message("MSG0209") + " " + FromUtf8(row.imagePath));
    labels[1]->setText(
        Texts().Message("MSG0210") + " " +
        SizeText(QFileInfo(FromUtf8(row.imagePath)).size() > 0
                     ? static_cast<std::uint64_t>(QFileInfo(FromUtf8(row.imagePath)).size())
                     : 0));
    if (!row.area.fileSystem.empty()) {
      labels[2]->setText(Texts().Message("MSG0205") + " " + FromUtf8(row.area.fileSystem));
    }
    return;
  }
  if (row.kind == MediaRow::Kind::kDisk) {
    labels[0]->setText(Texts().Message("MSG0211") + " " +
                       QString::number(row.area.source.diskNumber));
    labels[1]->setText(FromUtf8(row.area.source.path));
  } else {
    labels[0]->setText(Texts().Message("MSG0212") + " " +
                       QString::number(row.area.partitionNumber));
    labels[1]->setText(Texts().Message("MSG0204") + " " + FromUtf8(row.area.label));
  }
  labels[2]->setText(Texts().Message("MSG0205") + " " + FromUtf8(row.area.fileSystem));
  labels[3]->setText(Texts().Message("MSG0206") + " " + SizeText(bytes));
  labels[4]->setText(Texts().Message("MSG0213") + " " + QString::number(row.area.sectors.First()));
  if (!row.area.devicePath.empty()) labels[5]->setText(FromUtf8(row.area.devicePath));
  if (!row.area.mountPoint.empty()) labels[6]->setText(FromUtf8(row.area.mountPoint));
  if (!row.readable) {
    labels[7]->setText("Reading this disk needs administrator rights.");
  }
}

void CMainWnd::OnLoadImage() {
  const QString path = choosers_.imageToOpen
                           ? choosers_.imageToOpen(this)
                           : QFileDialog::getOpenFileName(this, QString(), QString(),
                                                          "Image Files (*.img);;All Files(*.*)");
  if (!path.isEmpty()) AddImage(path);
}

void CMainWnd::OnNext() {
  if (CurrentPage() == kMediaPage && diskList_->currentItem() == nullptr && CheckedRows().empty()) {
    CMessageBox::Show(MessageKind::kInformation, this, "Please select disk media for next step!");
    return;
  }
  ShowPage(std::min(CurrentPage() + 1, static_cast<int>(kFileTypePage)));
}

void CMainWnd::OnPrev() {
  if (CurrentPage() == kMediaPage) {
    ShowPage(kCategoryPage);
  } else if (CurrentPage() > kCategoryPage) {
    ShowPage(CurrentPage() - 1);
  }
}

bool CMainWnd::OfferDiskRights(const MediaRow& row) {
  const QString question = "Keldrive needs administrator rights to read " +
                           FromUtf8(row.area.source.path) +
                           ". Start Keldrive again with those rights? Images need no rights.";
  if (CMessageBox::Show(MessageKind::kConfirm, this, question) != 1) return false;
  std::string message;
  std::vector<std::string> arguments(images_.begin(), images_.end());
  if (!platform::StartWithDiskRights(ToUtf8(QCoreApplication::applicationFilePath()), arguments,
                                     message)) {
    CMessageBox::Show(MessageKind::kError, this, FromUtf8(message));
    return false;
  }
  QCoreApplication::quit();
  return true;
}

void CMainWnd::OnScan() {
  std::vector<int> rows = CheckedRows();
  if (rows.empty()) {
    CMessageBox::Show(MessageKind::kInformation, this, Texts().Message("MSG0502"));
    return;
  }
  std::vector<ScanTarget> targets;
  for (int index : rows) {
    const MediaRow& row = rows_[static_cast<std::size_t>(index)];
    if (!row.readable) {
      OfferDiskRights(row);
      return;
    }
    ScanTarget target;
    target.image = row.IsImage();
    target.name = row.IsImage() ? row.imagePath : row.area.source.path;
    target.areas = mode_ == RecoveryMode::kDeleted ? row.volumes : std::vector<ScanArea>{row.area};
    targets.push_back(std::move(target));
  }
  // The engines of the previous scan go; its deleted-recovery folders with them, while
  // professional scans stay for a later resume.
  model_->Reset();
  typeTree_->clear();
  results_.Clear();
  browser_.reset();
  scans_.clear();
  scanNames_.clear();
  for (const std::string& folder : forgetOnNextScan_) catalogue_->Forget(folder);
  forgetOnNextScan_.clear();

  scanWindow_ = new CScanProcessWnd(this, *catalogue_, targets, mode_);
  emit popUpOpening(scanWindow_);
  const int code = scanWindow_->exec();
  for (ScanOutcome& outcome : scanWindow_->Outcomes()) {
    if (!outcome.scan.engine) continue;
    if (mode_ == RecoveryMode::kDeleted) forgetOnNextScan_.push_back(outcome.scan.record.folder);
    scanNames_.push_back(FromUtf8(outcome.scan.record.argument));
    scans_.push_back(std::move(outcome));
  }
  const QString failure = scanWindow_->Failure();
  delete scanWindow_;
  scanWindow_ = nullptr;
  if (code == CPopUpWnd::kFailed) CMessageBox::Show(MessageKind::kError, this, failure);
  if (scanEndedPending_) {
    scanEndedPending_ = false;
    QCoreApplication::postEvent(this, new QEvent(kScanEndedEvent));
  }
}

void CMainWnd::OnScanEnded() {
  // The scan window posts its end just before it closes: the results are taken once it has.
  if (scanWindow_ != nullptr) {
    scanEndedPending_ = true;
    return;
  }
  if (scans_.empty()) return;  // the scan window reports its own failure
  std::vector<LoadedScan*> loaded;
  for (ScanOutcome& outcome : scans_) loaded.push_back(&outcome.scan);
  browser_ = std::make_unique<ScanSetBrowser>(loaded);
  CSearchProcessWnd window(this, loaded, scanNames_, FileFilter(), results_);
  emit popUpOpening(&window);
  window.exec();
}

void CMainWnd::OnResultsCollected() {
  model_->Reset();
  ClearPreview();
  Control<QTextBrowser>(*this, "PreviewEdit")->clear();
  FillTypeTree();
  Control<QPushButton>(*this, "TabRecover")->setEnabled(true);
  ShowPage(kResultPage);
  if (results_.Size() == 0) {
    CMessageBox::Show(MessageKind::kInformation, this, Texts().Message("MSG0504"));
  }
  emit resultsShown();
}

void CMainWnd::ShowAssistMenu() {
  QMenu menu(this);
  QMenu* languages = menu.addMenu(Texts().Message("MSG1224"));
  for (const LanguageChoice& choice : Texts().Table().Languages()) {
    QAction* action = languages->addAction(FromUtf8(choice.displayText));
    action->setCheckable(true);
    action->setChecked(choice.name == Texts().Table().CurrentLanguage());
    connect(action, &QAction::triggered, this, [this, name = choice.name] {
      if (Texts().SetLanguage(name)) {
        QCoreApplication::postEvent(this, new QEvent(kLanguageChangedEvent));
      }
    });
  }
  menu.addAction(Texts().Message("MSG1223"), this, [this] {
    CMessageBox::Show(
        MessageKind::kInformation, this,
        Texts().Message("MSG1209") + "\nVersion " + QCoreApplication::applicationVersion());
  });
  menu.addSeparator();
  menu.addAction(Texts().Message("MSG1225"), this, [this] { close(); });
  menu.exec(Control<QWidget>(*this, "BtnAssist")->mapToGlobal(QPoint(0, 0)));
}

}  // namespace keldrive::ui
