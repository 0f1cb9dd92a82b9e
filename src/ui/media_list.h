#pragma once

#include <QTreeWidget>
#include <string>
#include <vector>

#include "session/scan_area.h"

namespace keldrive::ui {

// One row of the media list: a disk, a volume or gap on it, or an image file (with its
// volumes as child rows when it holds a partition table).
struct MediaRow {
  enum class Kind { kDisk, kVolume, kGap, kImage };
  Kind kind = Kind::kDisk;
  ScanArea area;
  // The areas a deleted-file scan of the row scans: its volumes for a disk or partitioned
  // image, else the row's own area.
  std::vector<ScanArea> volumes;
  std::string imagePath;  // image rows and the rows under them
  int imageNumber = 0;    // 1 for the first image added, 2 for the next ...
  bool readable = true;   // whether this process may read it (disks need root)
  int parent = -1;        // the row above it, -1 for top rows

  bool IsImage() const { return !imagePath.empty(); }
};

// The rows of the machine's disks, in the order `keldrive list` numbers them.
std::vector<MediaRow> MachineRows();

// The rows of an image file, appended to `rows`: the image and, when partitioned, its
// volumes and gaps. False with a message when it cannot be read as an image.
bool AppendImageRows(const std::string& path, int imageNumber, std::vector<MediaRow>& rows,
                     std::string& message);

// Fills the tree with the rows (each item keeps its row index as data), keeping the check
// marks of rows that are still there.
void FillMediaTree(QTreeWidget& tree, const std::vector<MediaRow>& rows);

// The row index an item stands for.
int RowOfItem(const QTreeWidgetItem* item);

}  // namespace keldrive::ui
