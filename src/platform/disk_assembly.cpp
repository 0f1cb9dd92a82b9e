#include "platform/disk_assembly.h"

#include <algorithm>

#include "platform/volume_probe.h"

namespace keldrive::platform {
namespace {

void ApplyVolume(const VolumeFacts& facts, PlatformVolume& volume) {
  volume.driveLetter = facts.driveLetter;
  volume.fileSystem = facts.fileSystem;
  volume.label = facts.label;
  volume.mountPoint = facts.mountPoint;
  volume.spaceKnown = facts.spaceKnown;
  volume.totalBytes = facts.totalBytes;
  volume.freeBytes = facts.freeBytes;
  // The volume's own name opens it, with or without a drive letter.
  std::string name = facts.volumeName;
  if (name.ends_with('\\')) name.pop_back();
  volume.devicePath = name;
}

const VolumeFacts* VolumeAt(const std::vector<VolumeFacts>& volumes, int device,
                            std::uint64_t start) {
  for (const VolumeFacts& v : volumes) {
    if (v.deviceNumber == device && v.startBytes == start) return &v;
  }
  return nullptr;
}

}  // namespace

std::vector<PlatformDisk> AssembleDisks(std::vector<DiskFacts> disks,
                                        const std::vector<VolumeFacts>& volumes, bool withVolumes) {
  std::sort(disks.begin(), disks.end(),
            [](const DiskFacts& a, const DiskFacts& b) { return a.deviceNumber < b.deviceNumber; });
  std::vector<PlatformDisk> out;
  for (const DiskFacts& facts : disks) {
    PlatformDisk disk;
    disk.number = facts.deviceNumber;
    disk.name = "PhysicalDrive" + std::to_string(facts.deviceNumber);
    disk.devicePath = "\\\\.\\" + disk.name;
    disk.lengthBytes = facts.lengthBytes;
    disk.hasGeometry = facts.hasGeometry;
    disk.geometry = facts.geometry;
    disk.removableMedia = facts.removableMedia;
    disk.usbOrCardBus = facts.usbOrCardBus;
    if (withVolumes) {
      std::vector<DiskFacts::Partition> partitions = facts.partitions;
      std::sort(partitions.begin(), partitions.end(),
                [](const auto& a, const auto& b) { return a.startBytes < b.startBytes; });
      for (const DiskFacts::Partition& partition : partitions) {
        if (IsExtendedPartitionType(partition.type) || partition.lengthBytes == 0) continue;
        PlatformVolume volume;
        volume.partitionNumber = partition.number;
        volume.startBytes = partition.startBytes;
        volume.lengthBytes = partition.lengthBytes;
        volume.hasPosition = true;
        volume.partitionType = partition.type;
        if (const VolumeFacts* mounted =
                VolumeAt(volumes, facts.deviceNumber, partition.startBytes)) {
          ApplyVolume(*mounted, volume);
        }
        disk.volumes.push_back(std::move(volume));
      }
      // A file system over the whole disk: Windows reports no partition, one volume at 0.
      if (partitions.empty()) {
        if (const VolumeFacts* whole = VolumeAt(volumes, facts.deviceNumber, 0)) {
          PlatformVolume volume;
          volume.partitionNumber = 0;
          volume.lengthBytes = whole->lengthBytes;
          volume.hasPosition = true;
          ApplyVolume(*whole, volume);
          disk.volumes.push_back(std::move(volume));
        }
      }
    }
    out.push_back(std::move(disk));
  }
  return out;
}

}  // namespace keldrive::platform
