#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_handle.h"
#include "platform/medium.h"
#include "platform/result_code.h"
#include "platform/system_roots.h"

namespace keldrive::platform {

// One volume of a disk as the platform reports it: a partition, or a file system written
// over a whole disk without a partition table (partition number 0). Offsets are in bytes.
struct PlatformVolume {
  char16_t driveLetter = 0;  // 0 when the volume has none (always on Linux)
  int partitionNumber = -1;
  std::uint64_t startBytes = 0;
  std::uint64_t lengthBytes = 0;
  bool hasPosition = false;        // start and length are known
  std::uint8_t partitionType = 0;  // partition-table type byte; 0 when unknown
  std::string fileSystem;          // "NTFS", "FAT32", "FAT", "exFAT", "ext4", ...; empty if none
  std::string label;
  std::string devicePath;   // "/dev/sdb1"
  std::string mountPoint;   // empty when not mounted
  bool spaceKnown = false;  // the two figures below come from the mounted file system
  std::uint64_t totalBytes = 0;
  std::uint64_t freeBytes = 0;
};

// One whole disk, numbered by its position in the enumeration order.
struct PlatformDisk {
  int number = -1;
  std::string name;        // "sda", "nvme0n1", "loop3"
  std::string devicePath;  // "/dev/sda"
  std::uint64_t lengthBytes = 0;
  bool hasGeometry = false;
  DiskGeometry geometry;
  bool removableMedia = false;  // the kernel's removable flag
  bool usbOrCardBus = false;    // attached through USB or an MMC/SD host
  std::string backingFile;      // loop devices: the image behind them
  std::vector<PlatformVolume> volumes;
};

// Lists the machine's whole disks in a stable order: disks by name (sda, sdb, ..., sdaa;
// nvme0n1, nvme1n1), then loop devices by number, so attaching an image never renumbers a
// disk. RAM disks, zram, unattached loop devices, optical drives, device-mapper and md
// devices and disks without a medium are left out. With `withVolumes`, also their volumes.
// Fails only when the kernel's list of block devices cannot be read.
ResultCode ListDisks(const SystemRoots& roots, bool withVolumes, std::vector<PlatformDisk>& out);

// Opens disk number `number` of ListDisks read-only.
ResultCode OpenDisk(int number, std::unique_ptr<FileHandle>& out,
                    const SystemRoots& roots = SystemRoots{});

}  // namespace keldrive::platform
