#include "disk/sector_device.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "disk/checked_math.h"
#include "platform/disk_catalog.h"
#include "platform/file_handle.h"

namespace keldrive {
namespace {

// Runs the piece loop shared by ReadSectors and ReadBytes: pieces of at most 64 KiB, the
// piece only ever shrinking, a short piece continuing with the rest, a failed or empty
// piece ending with 30.
template <typename ReadPiece>
ResultCode ReadInPieces(std::span<std::uint8_t> buffer, std::uint32_t pieceBytes,
                        std::uint32_t& total, ReadPiece&& readPiece) {
  total = 0;
  std::uint32_t remaining = static_cast<std::uint32_t>(buffer.size());
  std::uint32_t piece = pieceBytes;
  while (remaining != 0) {
    piece = std::min(piece, remaining);
    std::size_t got = 0;
    const ResultCode rc = readPiece(total, buffer.subspan(total, piece), got);
    if (rc != result::kSuccess || got == 0) return result::kReadFault;
    got = std::min<std::size_t>(got, piece);
    total += static_cast<std::uint32_t>(got);
    remaining -= static_cast<std::uint32_t>(got);
  }
  return result::kSuccess;
}

}  // namespace

ResultCode OpenPhysicalDisk(SectorDevice& device, int diskNumber) {
  CloseDevice(device);
  std::unique_ptr<platform::FileHandle> disk;
  if (const ResultCode rc = platform::OpenDisk(diskNumber, disk); rc != result::kSuccess) {
    return rc;
  }
  return AttachDisk(device, std::move(disk));
}

ResultCode AttachDisk(SectorDevice& device, std::unique_ptr<platform::Medium> medium) {
  device.handle = std::move(medium);
  platform::DiskGeometry geometry;
  if (const ResultCode rc = device.handle->QueryGeometry(geometry); rc != result::kSuccess) {
    return rc;
  }
  // A geometry without a sector size would make every division below fail; disks that
  // report one are read as 512-byte disks.
  const std::uint64_t bytesPerSector =
      geometry.bytesPerSector != 0 ? geometry.bytesPerSector : kImageSectorBytes;

  device.totalSectors = 0;
  device.totalSectorBytes = static_cast<std::uint32_t>(bytesPerSector);
  std::uint64_t length = 0;
  if (device.handle->QuerySize(length) == result::kSuccess) {
    device.totalSectors = length / bytesPerSector;
  }
  if (device.totalSectors == 0) {
    // Whole cylinders only: may be smaller than the true size.
    const std::uint32_t perCylinder = geometry.tracksPerCylinder * geometry.sectorsPerTrack;
    device.totalSectors = CheckedMul64(geometry.cylinders, perCylinder).value_or(0);
  }
  return result::kSuccess;
}

ResultCode OpenImageFile(const std::string& path, SectorDevice& device) {
  CloseDevice(device);
  auto file = std::make_unique<platform::FileHandle>();
  if (const ResultCode rc = platform::FileHandle::OpenReadOnly(path, *file);
      rc != result::kSuccess) {
    return rc;
  }
  return AttachImage(device, std::move(file));
}

ResultCode AttachImage(SectorDevice& device, std::unique_ptr<platform::Medium> medium) {
  device.handle = std::move(medium);
  std::uint64_t size = 0;
  if (const ResultCode rc = device.handle->QuerySize(size); rc != result::kSuccess) return rc;
  device.totalSectors = size / kImageSectorBytes;
  device.totalSectorBytes = kImageSectorBytes;
  return result::kSuccess;
}

ResultCode ReadSectors(SectorDevice& device, std::span<std::uint8_t> buffer,
                       std::uint64_t startSector, std::int32_t count, std::int32_t sectorSize,
                       std::int32_t& sectorsRead, std::vector<std::uint32_t>& unreadable) {
  unreadable.clear();
  std::int32_t got = 0;
  ResultCode rc =
      ReadSectorsInPieces(device, buffer, startSector, count, sectorSize, kReadPieceBytes, got);
  if (rc != result::kReadFault) {
    if (rc == result::kSuccess) sectorsRead = got;
    return rc;
  }
  sectorsRead = got;
  // The request passed every check above, so sizes and offsets below cannot wrap.
  const auto size = static_cast<std::size_t>(sectorSize);
  const auto total = static_cast<std::uint32_t>(count);
  const std::uint32_t perPiece =
      std::max<std::uint32_t>(1, kReadPieceBytes / static_cast<std::uint32_t>(sectorSize));
  auto next = static_cast<std::uint32_t>(got);
  while (next < total) {
    // The failed piece sector by sector, so that one bad sector costs only itself.
    const std::uint32_t pieceEnd = std::min(total, next + perPiece);
    for (; next < pieceEnd; ++next) {
      const auto one = buffer.subspan(next * size, size);
      std::int32_t single = 0;
      if (ReadSectorsInPieces(device, one, startSector + next, 1, sectorSize, kReadPieceBytes,
                              single) != result::kSuccess) {
        std::fill(one.begin(), one.end(), std::uint8_t{0});
        unreadable.push_back(next);
        device.unreadable->Add(startSector + next, static_cast<std::uint32_t>(size),
                               device.handle ? device.handle->Name() : std::string());
      }
    }
    if (next >= total) break;
    // Then whole pieces again.
    got = 0;
    rc = ReadSectorsInPieces(device, buffer.subspan(next * size), startSector + next,
                             static_cast<std::int32_t>(total - next), sectorSize, kReadPieceBytes,
                             got);
    if (rc == result::kSuccess) break;
    next += static_cast<std::uint32_t>(got);
  }
  sectorsRead = unreadable.empty() ? count : static_cast<std::int32_t>(unreadable.front());
  return unreadable.empty() ? result::kSuccess : result::kReadFault;
}

ResultCode ReadSectors(SectorDevice& device, std::span<std::uint8_t> buffer,
                       std::uint64_t startSector, std::int32_t count, std::int32_t sectorSize,
                       std::int32_t& sectorsRead) {
  std::vector<std::uint32_t> unreadable;
  return ReadSectors(device, buffer, startSector, count, sectorSize, sectorsRead, unreadable);
}

ResultCode ReadSectorsInPieces(SectorDevice& device, std::span<std::uint8_t> buffer,
                               std::uint64_t startSector, std::int32_t count,
                               std::int32_t sectorSize, std::uint32_t pieceBytes,
                               std::int32_t& sectorsRead) {
  if (count < 0 || sectorSize <= 0) return result::kInvalidParameter;
  const auto sectors = static_cast<std::uint64_t>(count);
  const auto bytesPerSector = static_cast<std::uint64_t>(sectorSize);
  const auto end = CheckedAdd64(startSector, sectors);
  if (!end) return result::kInvalidParameter;
  // Sectors of another size than the device counts in are bounded by its length in bytes:
  // an image read in 4096-byte sectors ends where its last whole 4096 bytes end.
  const std::uint64_t lastSector = bytesPerSector == device.totalSectorBytes
                                       ? device.totalSectors
                                       : device.TotalBytes() / bytesPerSector;
  if (*end > lastSector) return result::kInvalidParameter;
  const std::uint64_t byteCount = sectors * bytesPerSector;  // < 2^62, cannot wrap
  if (byteCount > std::numeric_limits<std::uint32_t>::max() || byteCount > buffer.size()) {
    return result::kInvalidParameter;
  }
  const auto offset = CheckedMul64(startSector, bytesPerSector);
  if (!offset) return result::kInvalidParameter;
  if (!device.IsOpen()) return result::kInvalidHandle;

  std::uint32_t total = 0;
  const ResultCode rc =
      ReadInPieces(buffer.first(static_cast<std::size_t>(byteCount)), std::max(pieceBytes, 1u),
                   total, [&](std::uint32_t done, std::span<std::uint8_t> piece, std::size_t& got) {
                     return device.handle->ReadAt(*offset + done, piece, got);
                   });
  sectorsRead = static_cast<std::int32_t>(total / bytesPerSector);
  return rc;
}

void CloseDevice(SectorDevice& device) {
  device.handle.reset();
}

ResultCode ReadBytes(platform::FileHandle& file, std::span<std::uint8_t> buffer,
                     std::uint32_t& bytesRead) {
  if (buffer.size() > std::numeric_limits<std::uint32_t>::max()) {
    bytesRead = 0;
    return result::kInvalidParameter;
  }
  return ReadInPieces(buffer, kReadPieceBytes, bytesRead,
                      [&](std::uint32_t, std::span<std::uint8_t> piece, std::size_t& got) {
                        return file.Read(piece, got);
                      });
}

void ExpectSequentialReads(SectorDevice& device) {
  if (device.handle) device.handle->ExpectSequentialReads();
}

}  // namespace keldrive
