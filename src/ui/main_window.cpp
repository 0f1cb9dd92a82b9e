#include "ui/main_window.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "app/formatting.h"
#include "engine/file_category.h"
#include "platform/device_watch.h"
#include "session/image_target.h"
#include "session/recovery_plan.h"
#include "ui/create_image_window.h"
#include "ui/device_watcher.h"
#include "ui/message_box.h"
#include "ui/page_selector.h"
#include "ui/preview/preview_kind.h"
#include "ui/preview/preview_view.h"
#include "ui/preview_process_window.h"
#include "ui/preview_window.h"
#include "ui/recover_process_window.h"
#include "ui/scan_process_window.h"
#include "ui/search_process_window.h"
#include "ui/skin.h"
#include "ui/ui_texts.h"
#include "ui/window_messages.h"

namespace keldrive::ui {
namespace {

// The type tree's six category nodes, in the order of the categories.
struct CategoryNode {
  FileCategory category;
  const char* node;        // object name of the tree node
  const char* titleKey;    // its caption
  const char* panelBox;    // the deep-scan panel's check box
  const char* optionsBox;  // the per-extension options' container
  std::string_view patterns;
};
const std::array<CategoryNode, 6> kCategoryNodes{{
    {FileCategory::kPhoto, "NodePhoto", "MSG0807", "ChkPhoto", "FileTypePhoto", kPhotoPatterns},
    {FileCategory::kAudio, "NodeAudio", "MSG0808", "ChkMusic", "FileTypeAudio", kAudioPatterns},
    {FileCategory::kVideo, "NodeVideo", "MSG0809", "ChkVideo", "FileTypeVideo", kVideoPatterns},
    {FileCategory::kDocument, "NodeOffice", "MSG0810", "ChkOffice", "FileTypeOffice",
     kDocumentPatterns},
    {FileCategory::kArchive, "NodeZip", "MSG0811", "ChkArchive", "FileTypeZip", kArchivePatterns},
    {FileCategory::kOther, "NodeOther", "MSG0812", "ChkOther", "FileTypeOther", ""},
}};

constexpr int kNodeEntriesRole = Qt::UserRole + 1;  // category index, or -1
constexpr int kNodeExtensionRole = Qt::UserRole + 2;

// The extensions of a pattern list, in its order: "*.bmp|*.gif" gives bmp, gif.
std::vector<std::string> ExtensionsOf(std::string_view patterns) {
  std::vector<std::string> extensions;
  std::size_t start = 0;
  while (start < patterns.size()) {
    std::size_t end = patterns.find('|', start);
    if (end == std::string_view::npos) end = patterns.size();
    std::string_view item = patterns.substr(start, end - start);
    if (item.substr(0, 2) == "*.") extensions.emplace_back(item.substr(2));
    start = end + 1;
  }
  return extensions;
}

QString SizeText(std::uint64_t bytes) {
  return FromUtf8(FormatSize(static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, INT64_MAX))));
}

}  // namespace

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

void CMainWnd::FillTypeTree() {
  const QSignalBlocker blocker(typeTree_);
  typeTree_->clear();
  QTreeWidgetItem* first = nullptr;
  for (std::size_t i = 0; i < kCategoryNodes.size(); ++i) {
    const CategoryNode& node = kCategoryNodes[i];
    const std::size_t count = results_.CountOf(node.category);
    if (count == 0) continue;  // empty categories are hidden
    auto* top = new QTreeWidgetItem(typeTree_);
    top->setText(0, Texts().Message(node.titleKey) + QString(" (%1)").arg(count));
    top->setData(0, kNodeEntriesRole, static_cast<int>(i));
    top->setData(0, Qt::UserRole + 3, QString(node.node));
    top->setFlags(top->flags() | Qt::ItemIsUserCheckable);
    top->setCheckState(0, Qt::Unchecked);
    for (const auto& [extension, entries] : results_.Extensions(node.category)) {
      auto* child = new QTreeWidgetItem(top);
      child->setText(0, FromUtf8(ExtensionNodeText(extension, entries.size())));
      child->setData(0, kNodeEntriesRole, static_cast<int>(i));
      child->setData(0, kNodeExtensionRole, FromUtf8(extension));
      child->setFlags(child->flags() | Qt::ItemIsUserCheckable);
      child->setCheckState(0, Qt::Unchecked);
    }
    top->setExpanded(true);
    if (first == nullptr) first = top;
  }
  if (first != nullptr) {
    typeTree_->setCurrentItem(first);
    ShowNode(first);
  }
}

void CMainWnd::ShowNode(QTreeWidgetItem* node) {
  if (node == nullptr) return;
  const int category = node->data(0, kNodeEntriesRole).toInt();
  if (category < 0 || static_cast<std::size_t>(category) >= kCategoryNodes.size()) return;
  const FileCategory which = kCategoryNodes[static_cast<std::size_t>(category)].category;
  const QString extension = node->data(0, kNodeExtensionRole).toString();
  if (extension.isEmpty()) {
    model_->SetEntries(results_.EntriesOf(which));
  } else {
    const auto& map = results_.Extensions(which);
    const auto found = map.find(ToUtf8(extension));
    model_->SetEntries(found == map.end() ? std::vector<std::size_t>{} : found->second);
  }
  if (sortColumn_ >= 0) model_->SortBy(sortColumn_, sortOrder_);
  pager_->SetPageCount(model_->PageCount());
  pager_->SetCurrentPage(model_->CurrentPage());
  pager_->Layout();
  pager_->setVisible(model_->PageCount() > 1);
}

void CMainWnd::ClickHeader(int column) {
  sortOrder_ = column == sortColumn_ && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                         : Qt::AscendingOrder;
  sortColumn_ = column;
  fileView_->horizontalHeader()->setSortIndicator(column, sortOrder_);
  model_->SortBy(column, sortOrder_);
  pager_->SetCurrentPage(model_->CurrentPage());
  pager_->Layout();
}

void CMainWnd::UpdateSelectionSummary() {
  const std::size_t count = model_->Checked().size();
  Control<QLabel>(*this, "SelectedFileInfo")
      ->setText(QString("Selected %1 in %2 file%3")
                    .arg(SizeText(model_->CheckedBytes()))
                    .arg(count)
                    .arg(count == 1 ? "" : "s"));
}

void CMainWnd::FillFileTypeOptions() {
  for (const CategoryNode& node : kCategoryNodes) {
    auto* box = Control<QWidget>(*this, node.optionsBox);
    auto* grid = new QGridLayout(box);
    grid->setSpacing(2);
    int index = 0;
    for (const std::string& extension : ExtensionsOf(node.patterns)) {
      auto* option = new QCheckBox(FromUtf8(extension).toUpper(), box);
      option->setObjectName("Opt_" + FromUtf8(extension));
      option->setProperty("extension", FromUtf8(extension));
      option->setChecked(true);
      grid->addWidget(option, index / 8, index % 8);
      ++index;
    }
    if (node.category == FileCategory::kOther) {
      auto* other = Control<QCheckBox>(*this, "OptOtherFileItem");
      other->setChecked(true);
      grid->addWidget(other, 0, 0);
    }
  }
}

void CMainWnd::OnCategoryBoxChanged() {
  for (const CategoryNode& node : kCategoryNodes) {
    const bool checked = Control<QCheckBox>(*this, node.panelBox)->isChecked();
    auto* box = Control<QWidget>(*this, node.optionsBox);
    for (QCheckBox* option : box->findChildren<QCheckBox*>()) option->setChecked(checked);
  }
}

std::string CMainWnd::FileFilter() const {
  // Deleted recovery lists everything it finds; the others what the panels ask for.
  if (mode_ == RecoveryMode::kDeleted) return EveryCategoryPatternList() + "|*.other";
  std::string filter;
  for (const CategoryNode& node : kCategoryNodes) {
    auto* box = Control<QWidget>(*const_cast<CMainWnd*>(this), node.optionsBox);
    for (QCheckBox* option : box->findChildren<QCheckBox*>()) {
      if (!option->isChecked()) continue;
      const QString extension = option->property("extension").toString();
      const std::string item = extension.isEmpty() ? "*.other" : "*." + ToUtf8(extension);
      filter += (filter.empty() ? "" : "|") + item;
    }
  }
  return filter;
}

std::string CMainWnd::PathOf(const ResultEntry& entry) const {
  if (!browser_) return {};
  const std::string path = browser_->PathOf(entry.scan, entry.record);
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "/" : "/" + path.substr(0, slash);
}

void CMainWnd::ShowPreview(const QModelIndex& index) {
  auto* pane = Control<QTextBrowser>(*this, "PreviewEdit");
  ClearPreview();
  Control<QPushButton>(*this, "BtnPreviewWindow")->setEnabled(index.isValid());
  if (!index.isValid()) {
    pane->clear();
    return;
  }
  pane->setText(Texts().Message("MSG0904"));
  const std::size_t entry = model_->EntryAt(index.row());
  const FoundFile& record = results_.At(entry).record;
  QString text = "<b>" + FromUtf8(record.Name()).toHtmlEscaped() + "</b><br>";
  text += model_->CellText(entry, FileListModel::kSize) + "<br>";
  text += model_->CellText(entry, FileListModel::kPath).toHtmlEscaped() + "<br>";
  if (record.contentOk == 0 && record.isFolder == 0) {
    text +=
        "<font color='#B00020'>The start of this file does not look like its type: it may "
        "have been overwritten.</font>";
  }
  if (record.isFolder == 0) {
    auto* host = Control<QWidget>(*this, "PreviewHost");
    previewViewer_ = PreviewOf(entry, host);
    if (previewViewer_ != nullptr) {
      host->layout()->addWidget(previewViewer_);
      previewViewer_->show();
    }
  }
  pane->setHtml(text);
}

QWidget* CMainWnd::PreviewOf(std::size_t entry, QWidget* parent) {
  RemovePreviewFile();
  const ResultEntry& found = results_.At(entry);
  if (found.scan >= scans_.size() || !scans_[found.scan].scan.engine) return nullptr;
  previewBuffer_.resize(static_cast<std::size_t>(kPreviewBufferBytes));
  CPreviewProcessWnd window(this, *scans_[found.scan].scan.engine, found.record, previewBuffer_);
  emit popUpOpening(&window);
  window.exec();
  previewFile_ = window.TempPath();
  if (window.Result() != result::kSuccess) return nullptr;
  PreviewSource source;
  if (!previewFile_.empty()) {
    source.path = FromUtf8(previewFile_);
  } else {
    source.data = QByteArray(reinterpret_cast<const char*>(previewBuffer_.data()),
                             static_cast<qsizetype>(window.BufferedBytes()));
  }
  const PreviewTexts texts{Texts().Message("MSG0905"), Texts().Message("MSG1207")};
  return CreatePreview(FromUtf8(found.record.Name()), source, texts, parent).widget;
}

void CMainWnd::RemovePreviewFile() {
  if (!previewFile_.empty()) QFile::remove(FromUtf8(previewFile_));
  previewFile_.clear();
}

void CMainWnd::ClearPreview() {
  // The viewer first: a player lets go of the file it plays.
  delete previewViewer_;
  previewViewer_ = nullptr;
  RemovePreviewFile();
}

void CMainWnd::OpenPreviewWindow() {
  const QModelIndex current = fileView_->currentIndex();
  if (!current.isValid()) return;
  const std::size_t entry = model_->EntryAt(current.row());
  const auto isPicture = [this](std::size_t e) {
    return results_.At(e).record.isFolder == 0 &&
           KindOfName(results_.At(e).record.Name()) == PreviewKind::kPicture;
  };
  // Previous and next step through the pictures of the list; any other file is alone.
  std::vector<std::size_t> entries;
  std::size_t position = 0;
  if (isPicture(entry)) {
    for (int row = 0; row < model_->rowCount(); ++row) {
      const std::size_t e = model_->EntryAt(row);
      if (!isPicture(e)) continue;
      if (e == entry) position = entries.size();
      entries.push_back(e);
    }
  } else {
    entries.push_back(entry);
  }
  ClearPreview();  // the window takes the preview file over
  CPreviewWnd::Hooks hooks;
  hooks.title = [this](std::size_t e) { return FromUtf8(results_.At(e).record.Name()); };
  hooks.show = [this](std::size_t e, QWidget* parent) { return PreviewOf(e, parent); };
  hooks.recover = [this](std::size_t e) { RecoverEntry(e); };
  {
    CPreviewWnd window(this, entries, position, hooks);
    emit previewWindowOpening(&window);
    window.exec();
  }
  RemovePreviewFile();
  ShowPreview(fileView_->currentIndex());
}

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
