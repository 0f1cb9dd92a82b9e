#include "ui/file_list_model.h"

#include <QFileIconProvider>
#include <algorithm>

#include "app/formatting.h"
#include "ui/ui_texts.h"

namespace keldrive::ui {
namespace {

QString TimeText(FileTime time) {
  return time == 0 ? QString() : FromUtf8(FormatFileTime(time));
}

QString TypeText(const FoundFile& record) {
  if (record.isFolder != 0) return "Folder";
  const std::string extension = ExtensionOf(record.Name());
  return extension.empty() ? QString("File") : FromUtf8(extension).toUpper() + " File";
}

}  // namespace

FileListModel::FileListModel(const ResultCollection& results, PathOf pathOf, QObject* parent)
    : QAbstractTableModel(parent), results_(results), pathOf_(std::move(pathOf)) {
  headers_ = {"FileName", "Size", "Type", "ModifiedTime", "CreatedTime", "Path"};
}

void FileListModel::SetEntries(std::vector<std::size_t> entries) {
  beginResetModel();
  entries_ = std::move(entries);
  page_ = entries_.empty() ? 0 : 1;
  endResetModel();
}

void FileListModel::Reset() {
  beginResetModel();
  entries_.clear();
  checked_.clear();
  page_ = 0;
  endResetModel();
  emit checksChanged();
}

int FileListModel::PageCount() const {
  return static_cast<int>((entries_.size() + kPageRows - 1) / kPageRows);
}

void FileListModel::SetPage(int page) {
  if (page < 1 || page > PageCount() || page == page_) return;
  beginResetModel();
  page_ = page;
  endResetModel();
}

QString FileListModel::CellText(std::size_t entry, int column) const {
  const FoundFile& record = results_.At(entry).record;
  switch (column) {
    case kFileName:
      return FromUtf8(record.Name());
    case kSize:
      return record.isFolder != 0 ? QString() : SizeText(record.size);
    case kType:
      return TypeText(record);
    case kModifiedTime:
      return TimeText(record.modified);
    case kCreatedTime:
      return TimeText(record.created);
    case kPath:
      return pathOf_ ? FromUtf8(pathOf_(results_.At(entry))) : QString();
    default:
      return {};
  }
}

void FileListModel::SortBy(int column, Qt::SortOrder order) {
  beginResetModel();
  const bool ascending = order == Qt::AscendingOrder;
  if (column == kSize) {
    std::stable_sort(entries_.begin(), entries_.end(), [&](std::size_t a, std::size_t b) {
      const std::uint64_t left = results_.At(a).record.size, right = results_.At(b).record.size;
      return ascending ? left < right : right < left;
    });
  } else {
    // Texts are made once per entry, not once per comparison.
    std::vector<std::pair<QString, std::size_t>> keyed;
    keyed.reserve(entries_.size());
    for (std::size_t entry : entries_) keyed.emplace_back(CellText(entry, column), entry);
    std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
      const int compared = a.first.compare(b.first, Qt::CaseInsensitive);
      return ascending ? compared < 0 : compared > 0;
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) entries_[i] = keyed[i].second;
  }
  page_ = entries_.empty() ? 0 : 1;
  endResetModel();
}

void FileListModel::CheckAll(bool checked) {
  for (std::size_t entry : entries_) {
    if (checked) {
      checked_.insert(entry);
    } else {
      checked_.erase(entry);
    }
  }
  if (rowCount() > 0) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
  }
  emit checksChanged();
}

std::uint64_t FileListModel::CheckedBytes() const {
  std::uint64_t bytes = 0;
  for (std::size_t entry : checked_) bytes += results_.At(entry).record.size;
  return bytes;
}

std::size_t FileListModel::EntryAt(int row) const {
  return entries_.at(static_cast<std::size_t>((page_ - 1) * kPageRows + row));
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || page_ == 0) return 0;
  const std::size_t first = static_cast<std::size_t>(page_ - 1) * kPageRows;
  return static_cast<int>(std::min<std::size_t>(kPageRows, entries_.size() - first));
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const std::size_t entry = EntryAt(index.row());
  if (role == Qt::DisplayRole) return CellText(entry, index.column());
  if (role == Qt::CheckStateRole && index.column() == kFileName) {
    return checked_.count(entry) != 0 ? Qt::Checked : Qt::Unchecked;
  }
  if (role == Qt::DecorationRole && index.column() == kFileName) {
    // The icon the desktop gives files of the extension.
    static QFileIconProvider provider;
    const FoundFile& record = results_.At(entry).record;
    return provider.icon(record.isFolder != 0 ? QFileIconProvider::Folder
                                              : QFileIconProvider::File);
  }
  if (role == Qt::TextAlignmentRole && index.column() == kSize) {
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role == Qt::ToolTipRole && index.column() == kFileName &&
      results_.At(entry).record.contentOk == 0 && results_.At(entry).record.isFolder == 0) {
    return "The start of this file does not look like its type: it may be overwritten.";
  }
  return {};
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole || index.column() != kFileName) return false;
  const std::size_t entry = EntryAt(index.row());
  if (value.toInt() == Qt::Checked) {
    checked_.insert(entry);
  } else {
    checked_.erase(entry);
  }
  emit dataChanged(index, index, {Qt::CheckStateRole});
  emit checksChanged();
  return true;
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.column() == kFileName) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return section < headers_.size() ? headers_[section] : QVariant();
}

void FileListModel::SetHeaderTexts(const QStringList& texts) {
  headers_ = texts;
  emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

}  // namespace keldrive::ui
