// The main window's results page: the type tree, the file list and the preview pane.
#include <QCheckBox>
#include <QFile>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <algorithm>

#include "engine/file_category.h"
#include "session/recovery_plan.h"
#include "ui/category_nodes.h"
#include "ui/page_selector.h"
#include "ui/main_window.h"
#include "ui/preview/preview_kind.h"
#include "ui/preview/preview_view.h"
#include "ui/preview_process_window.h"
#include "ui/preview_window.h"
#include "ui/skin.h"
#include "ui/ui_texts.h"

namespace keldrive::ui {
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

}  // namespace keldrive::ui
