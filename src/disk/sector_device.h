#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/unreadable_sectors.h"
#include "platform/medium.h"
#include "platform/result_code.h"

namespace keldrive {

namespace platform {
class FileHandle;
}

// Image files are always counted in 512-byte sectors, whatever sector size an engine
// later reads them with.
inline constexpr std::uint32_t kImageSectorBytes = 512;
// The largest piece handed to one read call.
inline constexpr std::uint32_t kReadPieceBytes = 64 * 1024;

// One open medium: a whole disk or an image file. An engine embeds it by value and reads
// everything through ReadSectors; partitions are read through the disk that holds them.
// The sector size is not part of the record: each read names the one it wants.
//
// A medium is opened once per operation and handed down: engine selection, the engine and
// the engines inside the combined engine read through records that share one open medium
// (ShareDevice). Reads are positioned, so the records never disturb each other.
struct SectorDevice {
  std::shared_ptr<platform::Medium> handle;  // null when closed
  std::uint64_t totalSectors = 0;            // set by the opens, kept after close
  // The unit totalSectors counts in: the disk's own sector size, 512 for an image.
  std::uint32_t totalSectorBytes = 512;
  // Every sector a read of this medium could not deliver, shared by the records on it,
  // so that whoever opened the medium can say what the operation could not read.
  std::shared_ptr<UnreadableSectors> unreadable = std::make_shared<UnreadableSectors>();

  bool IsOpen() const { return handle != nullptr; }
  // The medium's length in bytes, as the open found it.
  std::uint64_t TotalBytes() const { return totalSectors * totalSectorBytes; }
};

// A second record on the medium `device` holds open; closing either leaves the other open.
inline SectorDevice ShareDevice(const SectorDevice& device) {
  return SectorDevice{device.handle, device.totalSectors, device.totalSectorBytes,
                      device.unreadable};
}

// Opens whole disk number `diskNumber` (the order of the disk enumeration) read-only and
// sizes it in the disk's own sectors.
ResultCode OpenPhysicalDisk(SectorDevice& device, int diskNumber);

// Opens an image file read-only and sizes it in 512-byte sectors; a trailing partial
// sector lies outside the device.
ResultCode OpenImageFile(const std::string& path, SectorDevice& device);

// The sizing steps of the two opens over a medium already open, so that tests and fuzzers
// can put any Medium behind a device. The medium stays in the record even when sizing
// fails, to be closed by the owner as after a failed open.
ResultCode AttachDisk(SectorDevice& device, std::unique_ptr<platform::Medium> medium);
ResultCode AttachImage(SectorDevice& device, std::unique_ptr<platform::Medium> medium);

// Reads `count` whole sectors of `sectorSize` bytes from `startSector` into `buffer`, in
// pieces of at most 64 KiB. A range beyond the device (its whole sectors of that size), a
// negative count, a sector size of 0 or less, a byte total beyond 32 bits or a buffer too
// small gives 87 with nothing read and `sectorsRead` untouched.
//
// A piece that fails is read again sector by sector, and the read goes on after it: every
// sector that can be read is delivered. The ones that cannot are zeros in `buffer`, listed
// in `unreadable` (indexes from `startSector`) and in the device's record of unreadable
// sectors; the result is then 30 and `sectorsRead` says how many whole sectors arrived
// before the first of them.
ResultCode ReadSectors(SectorDevice& device, std::span<std::uint8_t> buffer,
                       std::uint64_t startSector, std::int32_t count, std::int32_t sectorSize,
                       std::int32_t& sectorsRead, std::vector<std::uint32_t>& unreadable);

// ReadSectors for callers that want the sectors before the first failure only.
ResultCode ReadSectors(SectorDevice& device, std::span<std::uint8_t> buffer,
                       std::uint64_t startSector, std::int32_t count, std::int32_t sectorSize,
                       std::int32_t& sectorsRead);

// One pass in pieces of up to `pieceBytes`, without the sector-by-sector retry: a failed
// or empty piece ends it with 30. For copies of whole media, which move far more than the
// engines do and keep their own map of bad sectors.
ResultCode ReadSectorsInPieces(SectorDevice& device, std::span<std::uint8_t> buffer,
                               std::uint64_t startSector, std::int32_t count,
                               std::int32_t sectorSize, std::uint32_t pieceBytes,
                               std::int32_t& sectorsRead);

// Tells the medium that the reads to come run from front to back (a walk of the whole
// area), so that the system reads ahead of them.
void ExpectSequentialReads(SectorDevice& device);

// Closes the medium; harmless on a closed record.
void CloseDevice(SectorDevice& device);

// Reads `buffer.size()` bytes from the current position of an ordinary file, in pieces of
// at most 64 KiB. Returns 0 or 30 (a failed or empty piece); `bytesRead` is the total that
// arrived in every case.
ResultCode ReadBytes(platform::FileHandle& file, std::span<std::uint8_t> buffer,
                     std::uint32_t& bytesRead);

}  // namespace keldrive
