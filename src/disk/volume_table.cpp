#include "disk/volume_table.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "disk/checked_math.h"

namespace keldrive {
namespace {

constexpr std::uint64_t kFirstUsableSector = 63;
constexpr std::uint64_t kDefaultCylinderSectors = 16065;

constexpr std::uint8_t kTypeNtfs = 7;
constexpr std::uint8_t kTypeFat32 = 11;
constexpr std::uint8_t kTypeFat = 6;

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// A record built from a platform volume; start and length stay in bytes until the gaps
// are added.
VolumeRecord MakeVolumeRecord(const platform::PlatformDisk& disk,
                              const platform::PlatformVolume& volume) {
  VolumeRecord record;
  record.driveLetter = volume.driveLetter != 0 ? volume.driveLetter : kUnletteredMark;
  record.diskNumber = disk.number;
  record.partitionNumber = volume.partitionNumber;
  if (volume.hasPosition) {
    record.start = volume.startBytes;
    record.length = volume.lengthBytes;
  }
  record.type = volume.partitionType;
  record.fileSystemName = volume.fileSystem;
  record.label = volume.label;
  record.volumePath = volume.devicePath;
  record.devicePath = volume.devicePath;
  record.mountPoint = volume.mountPoint;
  if (EqualNoCase(volume.fileSystem, "NTFS")) {
    record.type = kTypeNtfs;
  } else if (EqualNoCase(volume.fileSystem, "FAT32")) {
    record.type = kTypeFat32;
  } else if (EqualNoCase(volume.fileSystem, "FAT")) {
    record.type = kTypeFat;
  }
  if (volume.spaceKnown) {
    record.totalBytes = volume.totalBytes;
    record.freeBytes = std::min(volume.freeBytes, volume.totalBytes);
  } else {
    record.totalBytes = record.length;
    record.freeBytes = 0;
  }
  record.usedBytes = record.totalBytes - record.freeBytes;
  return record;
}

VolumeRecord MakeStretchRecord(const platform::PlatformDisk& disk, std::uint64_t start,
                               std::uint64_t length, std::uint32_t sectorSize) {
  VolumeRecord record;
  record.driveLetter = kUnletteredMark;
  record.type = 0;
  record.diskNumber = disk.number;
  record.partitionNumber = 0;
  record.start = start;
  record.length = length;
  record.totalBytes = CheckedMul64(length, sectorSize).value_or(UINT64_MAX);
  record.freeBytes = record.totalBytes;
  record.usedBytes = 0;
  record.devicePath = disk.devicePath;
  return record;
}

void SortByStart(std::vector<VolumeRecord>& records) {
  std::stable_sort(records.begin(), records.end(),
                   [](const VolumeRecord& a, const VolumeRecord& b) { return a.start < b.start; });
}

// The disk's length in its own sectors: from the length when known, otherwise whole
// cylinders of the geometry.
std::uint64_t DiskSectors(const platform::PlatformDisk& disk, std::uint32_t sectorSize) {
  if (disk.lengthBytes != 0) return disk.lengthBytes / sectorSize;
  const std::uint64_t perCylinder =
      static_cast<std::uint64_t>(disk.geometry.tracksPerCylinder) * disk.geometry.sectorsPerTrack;
  return CheckedMul64(disk.geometry.cylinders, perCylinder).value_or(0);
}

// Converts a disk's volume records to sectors and adds a gap record for every stretch
// between or after them that is larger than one cylinder, where a lost partition may lie.
void AddGaps(VolumeTable& table, const platform::PlatformDisk& disk, std::uint64_t& cylinderSectors,
             std::vector<VolumeRecord>& records) {
  std::uint64_t diskSectors = 0;
  if (disk.hasGeometry) {
    // A disk that reports no sector size is read as a 512-byte disk.
    table.sectorSize = disk.geometry.bytesPerSector != 0 ? disk.geometry.bytesPerSector : 512;
    cylinderSectors =
        static_cast<std::uint64_t>(disk.geometry.tracksPerCylinder) * disk.geometry.sectorsPerTrack;
    diskSectors = DiskSectors(disk, table.sectorSize);
  }

  std::vector<VolumeRecord> gaps;
  std::uint64_t previousEnd = kFirstUsableSector;
  for (VolumeRecord& record : records) {
    record.start /= table.sectorSize;
    record.length /= table.sectorSize;
    // Only a start beyond the previous end makes a gap: overlapping volumes, or a volume
    // past a disk size rounded down to whole cylinders, must not wrap into a huge one.
    if (record.start > previousEnd && record.start - previousEnd > cylinderSectors) {
      gaps.push_back(
          MakeStretchRecord(disk, previousEnd, record.start - previousEnd, table.sectorSize));
    }
    previousEnd =
        std::max(previousEnd, CheckedAdd64(record.start, record.length).value_or(UINT64_MAX));
  }
  if (diskSectors > previousEnd && diskSectors - previousEnd > cylinderSectors) {
    gaps.push_back(
        MakeStretchRecord(disk, previousEnd, diskSectors - previousEnd, table.sectorSize));
  }
  records.insert(records.end(), gaps.begin(), gaps.end());
}

}  // namespace

void BuildVolumeTable(VolumeTable& table, const std::vector<platform::PlatformDisk>& disks) {
  table.disks.clear();
  table.cursorDisk = 0;
  table.cursorRecord = 0;

  for (const platform::PlatformDisk& disk : disks) {
    for (const platform::PlatformVolume& volume : disk.volumes) {
      VolumeRecord record = MakeVolumeRecord(disk, volume);
      if (record.type != 0 && record.diskNumber != -1) {
        table.disks[record.diskNumber].push_back(std::move(record));
      }
    }
  }

  std::uint64_t cylinderSectors = kDefaultCylinderSectors;
  for (auto& [number, records] : table.disks) {
    SortByStart(records);
    const auto disk = std::find_if(disks.begin(), disks.end(),
                                   [number = number](const auto& d) { return d.number == number; });
    if (disk != disks.end()) AddGaps(table, *disk, cylinderSectors, records);
    SortByStart(records);
  }

  // Disks without a volume are listed whole.
  for (const platform::PlatformDisk& disk : disks) {
    if (disk.number < 0 || !disk.hasGeometry || table.disks.contains(disk.number)) continue;
    const std::uint32_t sectorSize =
        disk.geometry.bytesPerSector != 0 ? disk.geometry.bytesPerSector : 512;
    VolumeRecord whole = MakeStretchRecord(disk, 0, DiskSectors(disk, sectorSize), sectorSize);
    // A file system over the whole disk that is not listed as a volume may still be mounted;
    // show where, so nobody mistakes the system disk for a spare one.
    for (const platform::PlatformVolume& volume : disk.volumes) {
      if (volume.partitionNumber == 0) whole.mountPoint = volume.mountPoint;
    }
    table.disks[disk.number].push_back(std::move(whole));
  }

  char16_t counter = 1;
  for (auto& [number, records] : table.disks) {
    for (VolumeRecord& record : records) {
      if (record.driveLetter == kUnletteredMark) record.driveLetter = counter;
      ++counter;
    }
  }
}

int EnumerateVolumes(VolumeTable& table, const platform::SystemRoots& roots) {
  std::vector<platform::PlatformDisk> disks;
  if (platform::ListDisks(roots, true, disks) != result::kSuccess) {
    table.disks.clear();
    table.cursorDisk = 0;
    table.cursorRecord = 0;
    return 0;
  }
  BuildVolumeTable(table, disks);
  return 1;
}

int NextVolume(VolumeTable& table, VolumeRecord& out) {
  auto disk = table.disks.begin();
  std::advance(disk, static_cast<std::ptrdiff_t>(std::min(table.cursorDisk, table.disks.size())));
  while (disk != table.disks.end()) {
    if (table.cursorRecord < disk->second.size()) {
      out = disk->second[table.cursorRecord++];
      return 1;
    }
    ++disk;
    ++table.cursorDisk;
    table.cursorRecord = 0;
  }
  return 0;
}

int ListAllVolumes(const VolumeTable& table, std::vector<VolumeRecord>& out) {
  out.clear();
  for (const auto& [number, records] : table.disks) {
    out.insert(out.end(), records.begin(), records.end());
  }
  return 1;
}

void FindMissingVolumes(VolumeTable& table, const std::vector<VolumeRecord>& known,
                        std::vector<VolumeRecord>& missing, const platform::SystemRoots& roots) {
  EnumerateVolumes(table, roots);
  for (const VolumeRecord& record : known) {
    const auto list = table.disks.find(record.diskNumber);
    const bool present =
        list != table.disks.end() &&
        std::any_of(list->second.begin(), list->second.end(),
                    [&](const VolumeRecord& fresh) { return fresh.start == record.start; });
    if (!present) missing.push_back(record);
  }
}

}  // namespace keldrive
