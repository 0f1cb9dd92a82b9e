#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disk/sector_device.h"
#include "disk/sector_run.h"
#include "disk/volume_record.h"
#include "platform/result_code.h"
#include "platform/system_roots.h"

namespace keldrive {

// What holds an area: a whole disk of the machine, read through its device node, or an
// image file. An image that holds a partition table is a disk like any other.
struct MediumSource {
  enum class Kind { kDisk, kImage };
  Kind kind = Kind::kImage;
  std::string path;     // the disk's device node ("/dev/sdb") or the image file
  int diskNumber = -1;  // disks: their number in the enumeration order
  // The container's sector size: the disk's own, or the image's partition-table sector
  // size (512 unless it holds a GPT made for a 4096-byte-sector disk).
  std::uint32_t sectorBytes = 512;

  bool IsImage() const { return kind == Kind::kImage; }
};

// One thing a user can scan: a whole disk or image, a volume on it, or an unallocated gap
// that may hold a lost partition. Sectors are the container's.
struct ScanArea {
  enum class Kind { kWhole, kVolume, kGap };
  MediumSource source;
  Kind kind = Kind::kWhole;
  SectorRun sectors;
  // Its number in its listing: `keldrive list` numbers the machine's areas, an image's
  // areas are numbered from 1 in the order of the image.
  int number = 0;
  int partitionNumber = 0;  // 0 for gaps and whole media
  std::uint8_t type = 0;    // partition type, as a volume record gives it
  std::string fileSystem;   // "NTFS", "FAT32", "FAT", "ext4", ... ; empty when unknown
  std::string label;
  std::string devicePath;  // the node of a machine volume ("/dev/sdb1"), else empty
  std::string mountPoint;  // where a machine volume is mounted, else empty
  // Stamped into the records the scan finds: a volume's letter or number.
  char16_t driveLetter = 0;

  bool IsWhole() const { return kind == Kind::kWhole; }
};

// "disk", "volume" or "unallocated".
std::string AreaKindName(ScanArea::Kind kind);

// The folder a volume's files go under when files of several areas are recovered together
// or browsed together: "volume1", "unallocated3", "disk".
std::string AreaFolderName(const ScanArea& area);

// Every area of the machine's disks, numbered as `keldrive list` shows them.
ResultCode ListMachineAreas(const platform::SystemRoots& roots, std::vector<ScanArea>& out);

// The areas of an image file. An image with a partition table gives its volumes and gaps
// (by the same rules as a disk's); `whole` is then the whole image. An image without one
// is one volume and `whole` is that volume.
struct ImageLayout {
  ScanArea whole;
  std::vector<ScanArea> areas;  // volumes and gaps in the image's order
  bool partitioned = false;
  std::string scheme;  // "dos" or "gpt" when partitioned
};
ResultCode ListImageAreas(const std::string& imagePath, ImageLayout& out);

// Opens a medium read-only: the platform's open, or a fake medium in tests.
using MediumOpener =
    std::function<ResultCode(const MediumSource& source, std::unique_ptr<platform::Medium>& out)>;
MediumOpener PlatformMediumOpener();

// Opens the medium that holds the area, once; everything the scan of the area reads is read
// through the device this gives, or through records that share it.
ResultCode OpenAreaMedium(const MediumSource& source, SectorDevice& device,
                          const MediumOpener& opener = PlatformMediumOpener());

}  // namespace keldrive
