#include "session/engine_selection.h"

#include <vector>

#include "engine/ext_placeholder_engine.h"
#include "fat/fast_fat_recovery.h"
#include "ntfs/fast_ntfs_recovery.h"
#include "platform/file_handle.h"
#include "session/professional_recovery.h"

namespace keldrive {
namespace {

// The engine for a file system and a mode; nothing where there is none.
std::unique_ptr<IFileRecoveryParse> MakeEngine(FileSystemKind kind, RecoveryMode mode,
                                               const ScanEnvironment& environment) {
  if (IsProfessional(mode)) return std::make_unique<CProfessionalRecovery>(environment);
  switch (kind) {
    case FileSystemKind::kFat:
      return std::make_unique<CFastFatRecovery>(environment);
    case FileSystemKind::kNtfs:
      return std::make_unique<CFastNtfsRecovery>(environment);
    case FileSystemKind::kExt:
      return std::make_unique<CFastExtRecovery>();
    case FileSystemKind::kOther:
      break;
  }
  return nullptr;
}

// Reads the bytes a classification needs; false unless all of them arrive.
bool ReadAreaStart(SectorDevice& device, const ScanArea& area, std::vector<std::uint8_t>& bytes) {
  std::uint32_t sectorSize = area.source.sectorBytes;
  if (sectorSize == 0 || sectorSize > kClassifyBytes) sectorSize = 512;
  bytes.assign(kClassifyBytes, 0);
  std::int32_t got = 0;
  const auto count = static_cast<std::int32_t>(kClassifyBytes / sectorSize);
  return ReadSectors(device, bytes, area.sectors.First(), count,
                     static_cast<std::int32_t>(sectorSize), got) == result::kSuccess &&
         got == count;
}

// Lets the system write out what it still holds for a mounted volume before it is read
// raw; a volume that cannot be opened is read as it is.
void FlushVolume(const ScanArea& area) {
  if (area.devicePath.empty()) return;
  platform::FileHandle volume;
  if (platform::FileHandle::OpenReadOnly(area.devicePath, volume) == result::kSuccess) {
    volume.Flush();
  }
}

// The machine area of disk `diskNumber` that starts at `startSector`, or a bare stretch.
ScanArea PartitionArea(const SectorDevice& disk, std::uint32_t diskNumber,
                       std::uint64_t startSector, std::uint64_t sectorCount,
                       char16_t driveLetter) {
  ScanArea area;
  area.source.kind = MediumSource::Kind::kDisk;
  area.source.diskNumber = static_cast<int>(diskNumber);
  platform::DiskGeometry geometry;
  if (disk.handle->QueryGeometry(geometry) == result::kSuccess && geometry.bytesPerSector != 0) {
    area.source.sectorBytes = geometry.bytesPerSector;
  }
  area.source.path = disk.handle->Name();
  area.kind = ScanArea::Kind::kVolume;
  area.sectors = SectorRun::Make(startSector, sectorCount).value_or(SectorRun{});
  area.driveLetter = driveLetter;
  return area;
}

}  // namespace

std::unique_ptr<IFileRecoveryParse> SelectEngine(SectorDevice& device, const ScanArea& area,
                                                 RecoveryMode mode,
                                                 const ScanEnvironment& environment,
                                                 FileSystemKind* kind) {
  FlushVolume(area);
  std::vector<std::uint8_t> start;
  if (!ReadAreaStart(device, area, start)) return nullptr;
  const FileSystemKind found = ClassifyFileSystem(start);
  if (kind != nullptr) *kind = found;
  auto engine = MakeEngine(found, mode, environment);
  if (engine) {
    engine->AttachDevice(ShareDevice(device), area.sectors.First(), area.sectors.Count(),
                         area.driveLetter, area.source.sectorBytes);
  }
  return engine;
}

std::unique_ptr<IFileRecoveryParse> SelectEngineForPartition(std::uint32_t diskNumber,
                                                             std::uint64_t startSector,
                                                             std::uint64_t sectorCount,
                                                             char16_t driveLetter, int mode,
                                                             const ScanEnvironment& environment) {
  SectorDevice disk;
  if (OpenPhysicalDisk(disk, static_cast<int>(diskNumber)) != result::kSuccess) return nullptr;
  const ScanArea area = PartitionArea(disk, diskNumber, startSector, sectorCount, driveLetter);
  return SelectEngine(disk, area, mode == 0 ? RecoveryMode::kDeleted : RecoveryMode::kDeep,
                      environment);
}

std::unique_ptr<IFileRecoveryParse> SelectEngineForImage(const std::string& path,
                                                         char16_t driveLetter, int mode,
                                                         const ScanEnvironment& environment) {
  SectorDevice image;
  if (OpenImageFile(path, image) != result::kSuccess) return nullptr;
  ScanArea area;
  area.source.kind = MediumSource::Kind::kImage;
  area.source.path = path;
  area.kind = ScanArea::Kind::kWhole;
  area.sectors = *SectorRun::Make(0, image.totalSectors);
  area.driveLetter = driveLetter;
  return SelectEngine(image, area, mode == 0 ? RecoveryMode::kDeleted : RecoveryMode::kDeep,
                      environment);
}

}  // namespace keldrive
