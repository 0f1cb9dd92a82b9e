#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "carve/ts_range_list.h"
#include "disk/sector_device.h"
#include "platform/result_code.h"

namespace keldrive {

// The largest sector size the detectors work with: one sector must fit the 64 KiB read
// buffer.
inline constexpr std::int32_t kMaxCarveSectorBytes = 64 * 1024;
inline constexpr std::size_t kCarveChunkBytes = 64 * 1024;

// Sectors of the medium the scan already holds in memory: the buffer its walk read last.
// Size rules and header tests that need those sectors take them from here instead of
// reading the medium again; only sectors past the window are read.
struct SectorWindow {
  std::uint64_t firstSector = 0;
  std::span<const std::uint8_t> bytes;  // whole sectors as the medium holds them
};

// What a header test may look at besides the sector itself: the medium around it and what
// earlier identifications of the same scan left behind. Tests that read further sectors
// read them into this object's own buffer, never into the chunk a size rule is scanning.
class SectorProbe {
 public:
  SectorDevice* medium = nullptr;
  std::int32_t sectorSize = 512;
  std::uint64_t hitSector = 0;     // where the candidate file begins
  std::uint64_t cursorSector = 0;  // the sector whose bytes a test is judging
  bool previousWasTs = false;
  bool previousWasMts = false;
  TsRangeList tsRanges;
  SectorWindow window;

  // Up to `count` whole sectors from `start`, cut at the end of the medium: straight from
  // the window when it holds them all, else read into the probe buffer. Empty when
  // nothing could be read (no medium, a sector beyond it, a read error or no memory).
  std::span<const std::uint8_t> ReadSectors(std::uint64_t start, std::int32_t count);

  // The window's bytes of the `count` sectors from `start`; empty unless it holds all of
  // them.
  std::span<const std::uint8_t> HeldSectors(std::uint64_t start, std::uint64_t count) const;

  // Reads `count` whole sectors from `start` into `out` (which has room for them): those
  // the window holds are copied from it, the rest read from the medium. Succeeds only
  // when every sector arrived, as ReadSectors of the device does.
  ResultCode ReadThroughWindow(std::span<std::uint8_t> out, std::uint64_t start,
                               std::uint64_t count);

  // The probe buffer with at least `bytes` bytes, for tests that assemble reads
  // themselves; empty when the memory cannot be had.
  std::span<std::uint8_t> Buffer(std::size_t bytes);

  // Reads up to `count` whole sectors from `start` into `out`, cut at the end of the
  // medium; the number of bytes that arrived (0 on any failure).
  std::size_t ReadInto(std::span<std::uint8_t> out, std::uint64_t start, std::int32_t count);

 private:
  std::vector<std::uint8_t> buffer_;
};

// The arguments of the scan-progress callback, in the order the engines pass them:
// context, step, weight, remaining seconds or -1, done, total, found, and a last 0. A
// non-zero result stops the running size rule.
using CarveProgressCallback = std::int32_t (*)(void* context, std::int32_t step,
                                               std::int32_t weight, std::int32_t remaining,
                                               std::uint64_t done, std::uint64_t total,
                                               std::uint64_t found, std::int32_t reserved);

struct CarveProgress {
  CarveProgressCallback callback = nullptr;
  void* callbackContext = nullptr;
  std::int32_t weight = 100;
  std::uint64_t sectorsDone = 0;  // of the scan, before the file being sized
  std::uint64_t totalSectors = 0;
  std::int32_t remainingSeconds = -1;
  std::uint64_t filesFound = 0;
};

// The state of one deep scan's identifications. Whoever scans owns one and hands it to
// every identification in turn; the flags and the transport-stream ranges carry over from
// one identification to the next, so a new scan starts with a fresh context (or calls
// StartScan).
class CarveContext {
 public:
  CarveContext();
  CarveContext(const CarveContext&) = delete;
  CarveContext& operator=(const CarveContext&) = delete;

  // Clears what one scan left for the next identification.
  void StartScan();

  // The walk hands over the buffer it is about to dispatch: `bytes` holds the sectors from
  // `firstSector` on, as they arrived from the candidate's medium, in whole sectors of the
  // sector size the candidates give. Size rules and header tests then copy what they need
  // of it instead of reading it again. Call it again after every read into the buffer (its
  // bytes must stay unchanged while they are the window), and clear it when the buffer
  // goes away or the medium changes.
  void SetWalkWindow(std::uint64_t firstSector, std::span<const std::uint8_t> bytes) {
    probe.window = {firstSector, bytes};
  }
  void ClearWalkWindow() { probe.window = {}; }

  SectorProbe probe;
  CarveProgress progress;
  // The last non-zero value of the progress callback; kCancelled when the user stopped.
  ResultCode stopValue = result::kSuccess;
  // Identification asks the first-byte index which rows can match; off, it walks every
  // row of the table (the reference the index is measured and tested against).
  bool useFirstByteIndex = true;

  // The size rules' chunk buffer: kCarveChunkBytes for the chunk itself, preceded by
  // kTrailerLeadBytes where the tail of the bytes before it is carried over, so that a
  // trailer cut by a chunk boundary is still found.
  std::span<std::uint8_t> ReadBuffer() { return readBuffer_; }

 private:
  std::vector<std::uint8_t> readBuffer_;
};

// Bytes of the previous chunk kept in front of the next one.
inline constexpr std::size_t kTrailerLeadBytes = 64;

}  // namespace keldrive
