#include "carve/boundaries.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "carve/first_byte_index.h"
#include "disk/checked_math.h"
#include "fat/dir_entry.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr std::size_t kMinimumMetadataBytes = 32;
constexpr std::array kBootSectorNames = {"MSDOS5.0"sv, "MSWIN4.0"sv, "MSWIN4.1"sv, "NTFS    "sv,
                                         "EXFAT   "sv};

FileTypeCode Recognise(CarveContext& context, Bytes sector) {
  return context.useFirstByteIndex ? RecogniseSector(context.probe, sector)
                                   : RecogniseSectorByTableWalk(context.probe, sector);
}

// The index of the first boundary sector of the chunk.
std::optional<std::size_t> FindBoundarySector(CarveContext& context, Bytes chunk,
                                              BoundaryKind kind) {
  const auto sectorBytes = static_cast<std::size_t>(context.probe.sectorSize);
  const std::size_t sectors = chunk.size() / sectorBytes;
  for (std::size_t i = 0; i < sectors; ++i) {
    ++context.probe.cursorSector;
    const Bytes sector = chunk.subspan(i * sectorBytes, sectorBytes);
    const FileTypeCode code = Recognise(context, sector);
    if (code != FileTypeCode::kNone &&
        !(kind == BoundaryKind::kIgnoreMpegStarts && code == FileTypeCode::kMpeg)) {
      return i;
    }
    if (IsFileSystemMetadata(sector)) return i;
  }
  return std::nullopt;
}

bool FindStart(CarveContext& context, Bytes chunk, std::uint64_t& size, BoundaryKind kind) {
  const auto found = FindBoundarySector(context, chunk, kind);
  if (!found) return false;
  size += *found * static_cast<std::uint64_t>(context.probe.sectorSize);
  return true;
}

std::int32_t ProgressPercent(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 0;
  done = std::min(done, total);
  const auto exact = CheckedMul64(done, 100);
  return static_cast<std::int32_t>(exact ? *exact / total : done / (total / 100));
}

// Calls the scan-progress callback for the sectors read so far; false when it asks to
// stop.
bool ReportProgress(CarveContext& context, std::uint64_t sectorsRead) {
  const CarveProgress& p = context.progress;
  if (p.callback == nullptr) return true;
  const std::uint64_t done =
      CheckedAdd64(p.sectorsDone, sectorsRead).value_or(std::numeric_limits<std::uint64_t>::max());
  const std::int32_t answer =
      p.callback(p.callbackContext, ProgressPercent(done, p.totalSectors) + 10, p.weight,
                 p.remainingSeconds, done, p.totalSectors, p.filesFound, 0);
  if (answer == 0) return true;
  context.stopValue = answer;
  return false;
}

}  // namespace

bool IsFileSystemMetadata(Bytes sector) {
  if (sector.size() < kMinimumMetadataBytes) return false;
  if (HasBytesAt(sector, 0, "FILE") || HasBytesAt(sector, 0, "INDX")) return true;
  if (HasBytesAt(sector, 0, "RSTR")) {
    if (FindFirst(sector, "N\0T\0F\0S\0"sv)) return true;
  }
  if (HasBytesAt(sector, 0, "$\0S\0T\0A\0"sv)) return true;
  if (HasBytesAt(sector, 0, "\xEB"sv) && HasBytesAt(sector, 2, "\x90"sv)) {
    for (const std::string_view name : kBootSectorNames) {
      if (HasBytesAt(sector, 3, name)) return true;
    }
  }
  return IsFatDirectorySector(sector);
}

Bytes ReadSizingSectors(CarveContext& context, std::uint64_t start, std::uint64_t count) {
  SectorProbe& probe = context.probe;
  if (probe.medium == nullptr || probe.sectorSize <= 0 || probe.sectorSize > kMaxCarveSectorBytes ||
      start >= probe.medium->totalSectors) {
    return {};
  }
  const std::span<std::uint8_t> area = context.ReadBuffer().subspan(kTrailerLeadBytes);
  const auto sectorBytes = static_cast<std::uint64_t>(probe.sectorSize);
  count = std::min({count, kCarveChunkBytes / sectorBytes, probe.medium->totalSectors - start});
  if (count == 0) return {};
  if (const Bytes held = probe.HeldSectors(start, count); !held.empty()) return held;
  if (probe.ReadThroughWindow(area, start, count) != result::kSuccess) return {};
  return Bytes(area).first(static_cast<std::size_t>(count * sectorBytes));
}

bool FindNextFileStart(CarveContext& context, Bytes chunk, std::uint64_t& size) {
  return FindStart(context, chunk, size, BoundaryKind::kAnyFileStart);
}

bool FindNextMpegFileStart(CarveContext& context, Bytes chunk, std::uint64_t& size) {
  return FindStart(context, chunk, size, BoundaryKind::kIgnoreMpegStarts);
}

std::uint64_t ExtendUntilBoundary(CarveContext& context, Bytes headerSector, std::uint64_t limit,
                                  const TrailerSearch& search, BoundaryKind kind,
                                  HeaderSectorSearch headerSearch) {
  SectorProbe& probe = context.probe;
  if (probe.sectorSize <= 0 || probe.sectorSize > kMaxCarveSectorBytes) return 0;
  const auto sectorBytes = static_cast<std::uint64_t>(probe.sectorSize);
  const std::uint64_t ceiling = CheckedAdd64(sectorBytes, limit).value_or(limit);
  const std::uint64_t chunkSectors = kCarveChunkBytes / sectorBytes;
  const std::span<std::uint8_t> buffer = context.ReadBuffer();
  const std::span<std::uint8_t> chunkArea = buffer.subspan(kTrailerLeadBytes);

  // A file smaller than its header sector ends there, where its rule can tell.
  if (search && headerSearch == HeaderSectorSearch::kSearched && !headerSector.empty()) {
    const ScannedChunk header{
        .window = headerSector,
        .lead = 0,
        .windowOffset = 0,
        .boundary = std::nullopt,
        .extent = sectorBytes,
        .sectorSize = probe.sectorSize,
        .isHeaderSector = true,
    };
    if (const auto end = search(header)) return std::min(*end, ceiling);
  }

  // The first chunk is led by the tail of the header sector.
  std::size_t lead = std::min(kTrailerLeadBytes, headerSector.size());
  if (lead != 0) {
    std::memcpy(buffer.data() + kTrailerLeadBytes - lead,
                headerSector.data() + headerSector.size() - lead, lead);
  }
  // The header sector as the walk's window holds it, when it was handed that very sector.
  const bool headerIsHeld = [&] {
    const Bytes held = probe.HeldSectors(probe.hitSector, 1);
    return !held.empty() && held.data() == headerSector.data() &&
           held.size() == headerSector.size();
  }();

  std::uint64_t size = sectorBytes;
  std::uint64_t chunkOffset = sectorBytes;  // file offset of the next chunk
  std::uint64_t sectorsLeft = limit / sectorBytes;
  std::uint64_t sectorsRead = 0;
  while (sectorsLeft > 0 && probe.medium != nullptr) {
    const auto start = CheckedAdd64(probe.hitSector, 1 + sectorsRead);
    if (!start || *start >= probe.medium->totalSectors) break;
    // A file near the end of the medium is read up to its last sector.
    const std::uint64_t count =
        std::min({chunkSectors, sectorsLeft, probe.medium->totalSectors - *start});
    const std::size_t chunkBytes = static_cast<std::size_t>(count * sectorBytes);

    // Sectors the walk holds are looked at where they lie, led by the sector before them;
    // the rest are read (the part the window holds copied from it).
    Bytes window;
    const Bytes held =
        sectorsRead != 0 || headerIsHeld ? probe.HeldSectors(*start - 1, count + 1) : Bytes{};
    if (!held.empty()) {
      window = held.subspan(static_cast<std::size_t>(sectorBytes) - lead);
    } else {
      if (probe.ReadThroughWindow(chunkArea, *start, count) != result::kSuccess) break;
      window = Bytes(buffer).subspan(kTrailerLeadBytes - lead, lead + chunkBytes);
    }
    const Bytes chunk = window.subspan(lead);
    sectorsRead += count;
    if (!ReportProgress(context, sectorsRead)) break;

    const auto boundary = FindBoundarySector(context, chunk, kind);
    if (boundary) size += *boundary * sectorBytes;
    if (search) {
      const ScannedChunk scanned{
          .window = window,
          .lead = lead,
          .windowOffset = chunkOffset - lead,
          .boundary = boundary ? std::optional(
                                     lead + *boundary * static_cast<std::size_t>(probe.sectorSize))
                               : std::nullopt,
          .extent = boundary ? size : size + chunkBytes,
          .sectorSize = probe.sectorSize,
      };
      if (const auto end = search(scanned)) {
        size = *end;
        break;
      }
    }
    if (boundary) break;
    size += chunkBytes;
    chunkOffset += chunkBytes;
    sectorsLeft -= count;
    // The next chunk is led by this one's tail, wherever this one lay.
    lead = std::min(kTrailerLeadBytes, chunkBytes);
    std::memmove(buffer.data() + kTrailerLeadBytes - lead, chunk.data() + chunkBytes - lead, lead);
  }
  return std::min(size, ceiling);
}

}  // namespace keldrive
