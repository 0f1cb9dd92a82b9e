#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/disk_catalog.h"

namespace keldrive::platform {

// What the Windows layer learns about a disk through its IOCTLs, before it becomes a
// PlatformDisk: kept apart so that tests can give made-up facts where no disk exists.
struct DiskFacts {
  int deviceNumber = -1;  // N of \\.\PhysicalDriveN
  std::uint64_t lengthBytes = 0;
  bool hasGeometry = false;
  DiskGeometry geometry;
  bool removableMedia = false;  // STORAGE_DEVICE_DESCRIPTOR.RemovableMedia
  bool usbOrCardBus = false;    // BusTypeUsb, BusTypeSd or BusTypeMmc
  struct Partition {
    int number = 0;
    std::uint64_t startBytes = 0;
    std::uint64_t lengthBytes = 0;
    std::uint8_t type = 0;  // the MBR byte, or MbrTypeForGptType of the GPT type
  };
  std::vector<Partition> partitions;  // IOCTL_DISK_GET_DRIVE_LAYOUT_EX, empty slots left out
};

// A mounted volume (FindFirstVolumeW) with the one extent that places it on a disk.
struct VolumeFacts {
  std::string volumeName;  // "\\?\Volume{...}\"
  int deviceNumber = -1;   // from IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS
  std::uint64_t startBytes = 0;
  std::uint64_t lengthBytes = 0;
  char16_t driveLetter = 0;
  std::string mountPoint;  // "E:\" or a folder; empty when the volume has no path
  std::string fileSystem;  // GetVolumeInformationW's name
  std::string label;
  bool spaceKnown = false;
  std::uint64_t totalBytes = 0;
  std::uint64_t freeBytes = 0;
};

// Builds the disk list: disks by device number, each partition matched to the volume at
// its offset (which gives letter, file system, label and space), and a volume over a
// whole disk without partitions as partition 0. Volumes that match no partition of a
// listed disk (spanned, or on a disk left out) are dropped.
std::vector<PlatformDisk> AssembleDisks(std::vector<DiskFacts> disks,
                                        const std::vector<VolumeFacts>& volumes, bool withVolumes);

}  // namespace keldrive::platform
