#pragma once

#include <cstdint>
#include <string>

namespace keldrive {

// Marks a record without a drive letter while the table is being built; such records are
// numbered once it is finished.
inline constexpr char16_t kUnletteredMark = u'*';

// One scannable stretch of a disk: a volume, an unallocated gap between or after volumes,
// or a whole disk without volumes. A plain value, copied freely.
struct VolumeRecord {
  // The drive letter, or for a record without one its 1-based position in the enumeration
  // order. Linux volumes have no letters, so there every record is numbered.
  char16_t driveLetter = 0;
  // 7 for NTFS, 11 for FAT32, 6 for FAT, else the partition-table type byte; 0 for gaps,
  // whole disks and unknown types.
  std::uint8_t type = 0;
  std::int32_t diskNumber = -1;
  std::int32_t partitionNumber = -1;  // 0 for gaps and whole disks
  std::uint64_t totalBytes = 0;
  std::uint64_t usedBytes = 0;
  std::uint64_t freeBytes = 0;
  std::uint64_t start = 0;     // first sector on the disk
  std::uint64_t length = 0;    // sectors
  std::string fileSystemName;  // "NTFS", "FAT32", "FAT", ...; empty for gaps and whole disks
  std::string volumePath;      // the platform's volume name; empty for gaps and whole disks
  std::string label;
  // Shown beside the record: the device node that holds the stretch and where its file
  // system is mounted, if anywhere.
  std::string devicePath;
  std::string mountPoint;

  bool HasDriveLetter() const { return driveLetter >= u'A' && driveLetter <= u'Z'; }
};

}  // namespace keldrive
