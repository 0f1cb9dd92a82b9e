#include "session/scan_area.h"

#include <algorithm>
#include <map>

#include "disk/file_system_detection.h"
#include "disk/volume_table.h"
#include "platform/disk_catalog.h"
#include "platform/file_handle.h"
#include "platform/volume_probe.h"

namespace keldrive {
namespace {

// The usual cylinder of 255 heads and 63 sectors: gaps shorter than this are left out, as
// on a disk of the machine.
constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;
// Partition types stand in for what the image's partition holds when the table says
// nothing useful.
constexpr std::uint8_t kTypeLinux = 0x83;
constexpr std::uint8_t kTypeNonFsData = 0xDA;

ScanArea::Kind KindOf(const VolumeRecord& record, std::size_t recordsOnDisk) {
  if (record.partitionNumber != 0 || record.type != 0) return ScanArea::Kind::kVolume;
  return recordsOnDisk == 1 && record.start == 0 ? ScanArea::Kind::kWhole : ScanArea::Kind::kGap;
}

ScanArea AreaFromRecord(const VolumeRecord& record, const MediumSource& source,
                        ScanArea::Kind kind) {
  ScanArea area;
  area.source = source;
  area.kind = kind;
  area.sectors = SectorRun::Make(record.start, record.length).value_or(SectorRun{});
  area.partitionNumber = record.partitionNumber;
  area.type = record.type;
  area.fileSystem = record.fileSystemName;
  area.label = record.label;
  if (kind == ScanArea::Kind::kVolume && source.kind == MediumSource::Kind::kDisk) {
    area.devicePath = record.devicePath;
    area.mountPoint = record.mountPoint;
  }
  area.driveLetter = record.driveLetter;
  return area;
}

// The file system at the start of an image's partition, by the same tests engine selection
// uses; empty when none is known.
std::string ClassifyAt(SectorDevice& image, std::uint64_t firstSector, std::uint32_t sectorBytes,
                       std::uint8_t& type) {
  std::vector<std::uint8_t> start(kClassifyBytes);
  std::int32_t got = 0;
  const auto byte512 = CheckedMul64(firstSector, sectorBytes / kImageSectorBytes);
  if (!byte512 ||
      ReadSectors(image, start, *byte512, static_cast<std::int32_t>(kClassifyBytes / 512), 512,
                  got) != result::kSuccess) {
    return {};
  }
  switch (ClassifyFileSystem(start)) {
    case FileSystemKind::kNtfs:
      return "NTFS";
    case FileSystemKind::kFat:
      return IsFat32BootSector(start) ? "FAT32" : "FAT";
    case FileSystemKind::kExt:
      if (type == 0) type = kTypeLinux;
      return "ext";
    case FileSystemKind::kOther:
      break;
  }
  return {};
}

}  // namespace

std::string AreaKindName(ScanArea::Kind kind) {
  switch (kind) {
    case ScanArea::Kind::kWhole:
      return "disk";
    case ScanArea::Kind::kVolume:
      return "volume";
    case ScanArea::Kind::kGap:
      return "unallocated";
  }
  return "area";
}

std::string AreaFolderName(const ScanArea& area) {
  if (area.kind == ScanArea::Kind::kWhole) return "disk";
  return AreaKindName(area.kind) + std::to_string(area.number);
}

ResultCode ListMachineAreas(const platform::SystemRoots& roots, std::vector<ScanArea>& out) {
  out.clear();
  std::vector<platform::PlatformDisk> disks;
  if (const ResultCode rc = platform::ListDisks(roots, true, disks); rc != result::kSuccess) {
    return rc;
  }
  VolumeTable table;
  BuildVolumeTable(table, disks);
  for (const auto& [number, records] : table.disks) {
    const auto disk = std::find_if(disks.begin(), disks.end(),
                                   [n = number](const auto& d) { return d.number == n; });
    if (disk == disks.end()) continue;
    MediumSource source;
    source.kind = MediumSource::Kind::kDisk;
    source.path = disk->devicePath;
    source.diskNumber = disk->number;
    source.sectorBytes = disk->hasGeometry && disk->geometry.bytesPerSector != 0
                             ? disk->geometry.bytesPerSector
                             : 512;
    for (const VolumeRecord& record : records) {
      ScanArea area = AreaFromRecord(record, source, KindOf(record, records.size()));
      area.number = record.driveLetter;
      out.push_back(std::move(area));
    }
  }
  return result::kSuccess;
}

ResultCode ListImageAreas(const std::string& imagePath, ImageLayout& out) {
  out = ImageLayout{};
  SectorDevice image;
  if (const ResultCode rc = OpenImageFile(imagePath, image); rc != result::kSuccess) return rc;

  platform::PartitionTable table;
  out.partitioned = platform::ProbePartitionTable(imagePath, table) && !table.partitions.empty();
  const std::uint32_t sectorBytes = out.partitioned ? table.sectorBytes : kImageSectorBytes;
  MediumSource source;
  source.kind = MediumSource::Kind::kImage;
  source.path = imagePath;
  source.sectorBytes = sectorBytes;

  const std::uint64_t bytes = image.totalSectors * kImageSectorBytes;
  out.whole.source = source;
  out.whole.kind = ScanArea::Kind::kWhole;
  out.whole.sectors = *SectorRun::Make(0, bytes / sectorBytes);
  out.whole.number = 0;
  if (!out.partitioned) {
    // A file system written over the whole image: the image is that one volume.
    ScanArea volume = out.whole;
    volume.kind = ScanArea::Kind::kVolume;
    volume.number = 1;
    volume.fileSystem = ClassifyAt(image, 0, sectorBytes, volume.type);
    // Typed as a volume record of that file system is typed.
    if (volume.fileSystem == "NTFS") volume.type = 0x07;
    if (volume.fileSystem == "FAT32") volume.type = 0x0B;
    if (volume.fileSystem == "FAT") volume.type = 0x06;
    volume.driveLetter = 1;
    out.whole = volume;
    out.areas.push_back(std::move(volume));
    return result::kSuccess;
  }
  out.scheme = table.scheme;

  // The image as a disk of its own, so its gaps follow the rules a disk's follow.
  platform::PlatformDisk disk;
  disk.number = 0;
  disk.devicePath = imagePath;
  disk.lengthBytes = bytes;
  disk.hasGeometry = true;
  disk.geometry.bytesPerSector = sectorBytes;
  disk.geometry.tracksPerCylinder = kHeads;
  disk.geometry.sectorsPerTrack = kSectorsPerTrack;
  disk.geometry.cylinders = bytes / sectorBytes / (kHeads * kSectorsPerTrack);
  for (const platform::PartitionSlot& slot : table.partitions) {
    platform::PlatformVolume volume;
    volume.partitionNumber = slot.number;
    const auto start = CheckedMul64(slot.startSector, sectorBytes);
    const auto length = CheckedMul64(slot.sectorCount, sectorBytes);
    if (!start || !length) continue;
    volume.startBytes = *start;
    volume.lengthBytes = *length;
    volume.hasPosition = true;
    volume.partitionType = slot.type;
    volume.fileSystem = ClassifyAt(image, slot.startSector, sectorBytes, volume.partitionType);
    if (volume.partitionType == 0 && volume.fileSystem.empty()) {
      volume.partitionType = kTypeNonFsData;
    }
    volume.devicePath = imagePath;
    disk.volumes.push_back(std::move(volume));
  }
  VolumeTable volumes;
  BuildVolumeTable(volumes, {disk});
  int number = 0;
  for (const auto& [diskNumber, records] : volumes.disks) {
    for (const VolumeRecord& record : records) {
      ScanArea area = AreaFromRecord(record, source, KindOf(record, records.size()));
      area.number = ++number;
      area.driveLetter = static_cast<char16_t>(number);
      out.areas.push_back(std::move(area));
    }
  }
  return result::kSuccess;
}

MediumOpener PlatformMediumOpener() {
  return [](const MediumSource& source, std::unique_ptr<platform::Medium>& out) {
    auto file = std::make_unique<platform::FileHandle>();
    const ResultCode rc = platform::FileHandle::OpenReadOnly(source.path, *file);
    if (rc == result::kSuccess) out = std::move(file);
    return rc;
  };
}

ResultCode OpenAreaMedium(const MediumSource& source, SectorDevice& device,
                          const MediumOpener& opener) {
  CloseDevice(device);
  std::unique_ptr<platform::Medium> medium;
  if (const ResultCode rc = opener(source, medium); rc != result::kSuccess) return rc;
  return source.IsImage() ? AttachImage(device, std::move(medium))
                          : AttachDisk(device, std::move(medium));
}

}  // namespace keldrive
