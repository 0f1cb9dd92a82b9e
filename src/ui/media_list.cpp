#include "ui/media_list.h"

#include <QFileIconProvider>
#include <QStyle>
#include <map>

#include "app/formatting.h"
#include "platform/device_watch.h"
#include "ui/ui_texts.h"

namespace keldrive::ui {
namespace {

constexpr int kRowRole = Qt::UserRole + 1;

QString AreaSizeText(const ScanArea& area) {
  return SizeText(area.sectors.Count() * area.source.sectorBytes);
}

MediaRow::Kind KindOfArea(const ScanArea& area) {
  switch (area.kind) {
    case ScanArea::Kind::kVolume:
      return MediaRow::Kind::kVolume;
    case ScanArea::Kind::kGap:
      return MediaRow::Kind::kGap;
    case ScanArea::Kind::kWhole:
    default:
      return MediaRow::Kind::kDisk;
  }
}

QString RowText(const MediaRow& row) {
  switch (row.kind) {
    case MediaRow::Kind::kImage:
      return FromUtf8(row.imagePath);
    case MediaRow::Kind::kDisk:
      return Texts().Message("MSG0201") + " " + QString::number(row.area.source.diskNumber) + "  " +
             FromUtf8(row.area.source.path);
    case MediaRow::Kind::kGap:
      return QString("Unallocated %1").arg(row.area.number);
    case MediaRow::Kind::kVolume:
    default: {
      // A volume has no drive letter here: its number, then its label or where it is.
      QString text = QString("%1:\\ ").arg(row.area.partitionNumber);
      if (!row.area.label.empty()) return text + FromUtf8(row.area.label);
      if (!row.area.mountPoint.empty()) return text + FromUtf8(row.area.mountPoint);
      return text + FromUtf8(row.area.devicePath);
    }
  }
}

}  // namespace

std::vector<MediaRow> MachineRows() {
  std::vector<ScanArea> areas;
  std::vector<MediaRow> rows;
  if (ListMachineAreas(platform::SystemRoots{}, areas) != result::kSuccess) return rows;
  std::map<std::string, int> diskRow;
  for (const ScanArea& area : areas) {
    auto found = diskRow.find(area.source.path);
    if (found == diskRow.end()) {
      MediaRow disk;
      disk.kind = MediaRow::Kind::kDisk;
      disk.area = area;
      disk.area.kind = ScanArea::Kind::kWhole;
      disk.readable = platform::MayRead(area.source.path);
      found = diskRow.emplace(area.source.path, static_cast<int>(rows.size())).first;
      rows.push_back(disk);
    }
    MediaRow& disk = rows[static_cast<std::size_t>(found->second)];
    if (area.IsWhole()) {
      disk.area = area;
      disk.volumes.push_back(area);
      continue;
    }
    disk.volumes.push_back(area);
    MediaRow row;
    row.kind = KindOfArea(area);
    row.area = area;
    row.volumes = {area};
    row.readable = disk.readable;
    row.parent = found->second;
    rows.push_back(row);
  }
  // A disk's own area spans all of it.
  for (MediaRow& row : rows) {
    if (row.kind != MediaRow::Kind::kDisk || row.volumes.empty()) continue;
    std::uint64_t end = 0;
    for (const ScanArea& volume : row.volumes) end = std::max(end, volume.sectors.End());
    if (auto whole = SectorRun::Make(0, end); whole && !row.volumes.front().IsWhole()) {
      row.area.sectors = *whole;
      row.area.fileSystem.clear();
      row.area.label.clear();
    }
  }
  return rows;
}

bool AppendImageRows(const std::string& path, int imageNumber, std::vector<MediaRow>& rows,
                     std::string& message) {
  ImageLayout layout;
  if (const ResultCode rc = ListImageAreas(path, layout); rc != result::kSuccess) {
    message = ToUtf8(Texts().Message("MSG0601"));
    return false;
  }
  const auto letter = static_cast<char16_t>(imageNumber);
  MediaRow image;
  image.kind = MediaRow::Kind::kImage;
  image.area = layout.whole;
  image.area.driveLetter = letter;
  image.imagePath = path;
  image.imageNumber = imageNumber;
  image.volumes = layout.areas;
  for (ScanArea& volume : image.volumes) volume.driveLetter = letter;
  if (image.volumes.empty()) image.volumes.push_back(image.area);
  const int parent = static_cast<int>(rows.size());
  rows.push_back(image);
  if (!layout.partitioned) return true;
  for (const ScanArea& area : layout.areas) {
    MediaRow row;
    row.kind = KindOfArea(area);
    row.area = area;
    row.area.driveLetter = letter;
    row.volumes = {row.area};
    row.imagePath = path;
    row.imageNumber = imageNumber;
    row.parent = parent;
    rows.push_back(row);
  }
  return true;
}

void FillMediaTree(QTreeWidget& tree, const std::vector<MediaRow>& rows) {
  std::map<QString, Qt::CheckState> checks;
  for (QTreeWidgetItemIterator it(&tree); *it != nullptr; ++it) {
    checks[(*it)->data(0, Qt::UserRole + 2).toString()] = (*it)->checkState(0);
  }
  tree.clear();
  static QFileIconProvider icons;
  std::vector<QTreeWidgetItem*> items;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const MediaRow& row = rows[i];
    auto* item = row.parent < 0 ? new QTreeWidgetItem(&tree)
                                : new QTreeWidgetItem(items[static_cast<std::size_t>(row.parent)]);
    items.push_back(item);
    QString text = RowText(row);
    if (!row.readable) text += "  (needs administrator rights)";
    item->setText(0, text);
    item->setText(1, FromUtf8(row.area.fileSystem));
    item->setText(2, AreaSizeText(row.area));
    item->setIcon(0, icons.icon(row.kind == MediaRow::Kind::kImage ? QFileIconProvider::File
                                                                   : QFileIconProvider::Drive));
    item->setData(0, kRowRole, static_cast<int>(i));
    const QString key = FromUtf8(row.area.source.path) + "#" +
                        QString::number(row.area.sectors.First()) + "#" +
                        QString::number(static_cast<int>(row.kind));
    item->setData(0, Qt::UserRole + 2, key);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    const auto kept = checks.find(key);
    item->setCheckState(0, kept != checks.end() ? kept->second : Qt::Unchecked);
    if (!row.readable) item->setForeground(0, QBrush(Qt::gray));
  }
  tree.expandAll();
  for (int column = 0; column < tree.columnCount(); ++column) tree.resizeColumnToContents(column);
}

int RowOfItem(const QTreeWidgetItem* item) {
  return item == nullptr ? -1 : item->data(0, kRowRole).toInt();
}

}  // namespace keldrive::ui
