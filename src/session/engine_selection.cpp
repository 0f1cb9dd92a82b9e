#include "session/engine_selection.h"

#include <vector>

#include "disk/file_system_detection.h"
#include "disk/sector_device.h"
#include "engine/ext_placeholder_engine.h"
#include "fat/fast_fat_recovery.h"
#include "ntfs/fast_ntfs_recovery.h"
#include "platform/disk_catalog.h"

namespace keldrive {
namespace {

// The engine for a file system and a mode; nothing where there is none.
std::unique_ptr<IFileRecoveryParse> MakeEngine(FileSystemKind kind, int mode,
                                               const ScanEnvironment& environment) {
  if (mode != kDeletedRecoveryMode) return nullptr;  // the combined engine comes later
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
bool ReadVolumeStart(SectorDevice& device, std::uint64_t startSector, std::uint32_t sectorSize,
                     std::vector<std::uint8_t>& bytes) {
  if (sectorSize == 0 || sectorSize > kClassifyBytes) sectorSize = 512;
  bytes.assign(kClassifyBytes, 0);
  std::int32_t got = 0;
  const auto count = static_cast<std::int32_t>(kClassifyBytes / sectorSize);
  return ReadSectors(device, bytes, startSector, count, static_cast<std::int32_t>(sectorSize),
                     got) == result::kSuccess &&
         got == count;
}

// Lets the system write out what it still holds for a mounted volume before it is read
// raw; a volume that cannot be opened is read as it is.
void FlushVolume(std::uint32_t diskNumber, std::uint64_t startSector, std::uint32_t sectorSize) {
  std::vector<platform::PlatformDisk> disks;
  if (platform::ListDisks(platform::SystemRoots{}, true, disks) != result::kSuccess) return;
  for (const platform::PlatformDisk& disk : disks) {
    if (disk.number != static_cast<int>(diskNumber)) continue;
    for (const platform::PlatformVolume& volume : disk.volumes) {
      if (volume.hasPosition && volume.startBytes == startSector * sectorSize) {
        platform::FileHandle handle;
        if (platform::FileHandle::OpenReadOnly(volume.devicePath, handle) == result::kSuccess) {
          handle.Flush();
        }
      }
    }
  }
}

}  // namespace

std::unique_ptr<IFileRecoveryParse> SelectEngineForPartition(std::uint32_t diskNumber,
                                                             std::uint64_t startSector,
                                                             std::uint64_t sectorCount,
                                                             char16_t driveLetter, int mode,
                                                             const ScanEnvironment& environment) {
  SectorDevice disk;
  if (OpenPhysicalDisk(disk, static_cast<int>(diskNumber)) != result::kSuccess) return nullptr;
  platform::DiskGeometry geometry;
  const std::uint32_t sectorSize =
      disk.handle->QueryGeometry(geometry) == result::kSuccess && geometry.bytesPerSector != 0
          ? geometry.bytesPerSector
          : 512;
  FlushVolume(diskNumber, startSector, sectorSize);
  std::vector<std::uint8_t> start;
  if (!ReadVolumeStart(disk, startSector, sectorSize, start)) return nullptr;
  CloseDevice(disk);
  auto engine = MakeEngine(ClassifyFileSystem(start), mode, environment);
  if (engine) engine->AttachDiskPartition(diskNumber, startSector, sectorCount, driveLetter);
  return engine;
}

std::unique_ptr<IFileRecoveryParse> SelectEngineForImage(const std::string& path,
                                                         char16_t driveLetter, int mode,
                                                         const ScanEnvironment& environment) {
  SectorDevice image;
  if (OpenImageFile(path, image) != result::kSuccess) return nullptr;
  std::vector<std::uint8_t> start;
  if (!ReadVolumeStart(image, 0, kImageSectorBytes, start)) return nullptr;
  CloseDevice(image);
  auto engine = MakeEngine(ClassifyFileSystem(start), mode, environment);
  if (engine) engine->AttachImageFile(path, driveLetter);
  return engine;
}

}  // namespace keldrive
