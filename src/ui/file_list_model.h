#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ui/result_collection.h"

namespace keldrive::ui {

// The file list of the results page: the files of one type-tree node, shown a page at a
// time. Only the rows of the current page exist for the view, so a node of a million files
// costs the view no more than one of a hundred. Check marks belong to the entries, so they
// survive paging, sorting and switching nodes.
class FileListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kFileName, kSize, kType, kModifiedTime, kCreatedTime, kPath, kColumnCount };
  static constexpr int kPageRows = 100;

  // `pathOf` gives the folder path of an entry, asked only for rows on screen and when
  // sorting by path.
  using PathOf = std::function<std::string(const ResultEntry&)>;
  FileListModel(const ResultCollection& results, PathOf pathOf, QObject* parent = nullptr);

  // Shows `entries` (indices into the results) from the first page, in their order.
  void SetEntries(std::vector<std::size_t> entries);
  // Forgets everything: a new search is coming.
  void Reset();

  int PageCount() const;
  int CurrentPage() const { return page_; }  // 1-based; 0 when empty
  void SetPage(int page);

  // Sorts the node's entries by a column: `Size` by value, the rest as text without
  // regard to case, an empty text first.
  void SortBy(int column, Qt::SortOrder order);

  // Checks or unchecks every entry of the node.
  void CheckAll(bool checked);
  const std::set<std::size_t>& Checked() const { return checked_; }
  std::uint64_t CheckedBytes() const;

  // The entry shown in a row of the page.
  std::size_t EntryAt(int row) const;
  const std::vector<std::size_t>& Entries() const { return entries_; }
  // The text of a cell of an entry, as the list shows it.
  QString CellText(std::size_t entry, int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void SetHeaderTexts(const QStringList& texts);

 signals:
  void checksChanged();

 private:
  const ResultCollection& results_;
  PathOf pathOf_;
  std::vector<std::size_t> entries_;
  std::set<std::size_t> checked_;
  int page_ = 0;
  QStringList headers_;
};

}  // namespace keldrive::ui
