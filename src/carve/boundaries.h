#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "carve/byte_patterns.h"
#include "carve/carve_context.h"

namespace keldrive {

// Whether a sector belongs to a file system rather than to a file's contents: NTFS
// records, index buffers, log restart pages and the attribute-definition table, boot
// sectors of FAT, NTFS and exFAT, and FAT directory sectors. Such a sector ends a file
// that is being extended sector by sector.
bool IsFileSystemMetadata(Bytes sector);

// Walks the whole sectors of a chunk that follows the file being sized, advancing the
// cursor sector by one for each. At the first sector where some row of the table
// recognises a file, or that holds file-system metadata, adds the bytes of the sectors
// before it to `size` and answers true; otherwise leaves `size` alone.
bool FindNextFileStart(CarveContext& context, Bytes chunk, std::uint64_t& size);
// The same for MPEG streams, whose own pack headers recur at sector starts: a sector that
// is first recognised as MPEG is no boundary.
bool FindNextMpegFileStart(CarveContext& context, Bytes chunk, std::uint64_t& size);

// One chunk read by ExtendUntilBoundary, as a size rule's trailer search sees it.
struct ScannedChunk {
  // The chunk preceded by up to kTrailerLeadBytes of what came before it (the header
  // sector or the previous chunk), so that a trailer cut by the chunk boundary is whole.
  Bytes window;
  std::size_t lead = 0;                 // window bytes before the chunk
  std::uint64_t windowOffset = 0;       // file offset of window[0]
  std::optional<std::size_t> boundary;  // window position of the boundary sector, if any
  std::uint64_t extent = 0;             // the file's size if it ends with this chunk
  std::int32_t sectorSize = 512;
  // The header sector itself, searched before any chunk is read (no lead, no boundary).
  bool isHeaderSector = false;

  Bytes Chunk() const { return window.subspan(lead); }
  std::uint64_t FileOffset(std::size_t windowPosition) const {
    return windowOffset + windowPosition;
  }
};

// A size rule's own look at each chunk: the file's size when the chunk shows its end.
using TrailerSearch = std::function<std::optional<std::uint64_t>(const ScannedChunk&)>;

enum class BoundaryKind { kAnyFileStart, kIgnoreMpegStarts };

// Whether the trailer search looks at the header sector first, for types whose files can
// be smaller than a sector: an end found there ends the file without reading further.
enum class HeaderSectorSearch { kSkipped, kSearched };

// The frame of every scanning size rule: the file grows chunk by chunk (64 KiB from the
// sector after the header sector) until a chunk holds a boundary, the trailer search
// finds the end, `limit` bytes after the header sector are reached, the medium ends or a
// read fails. Sectors the walk's window holds are taken from it, the others read. Reports
// progress once per chunk; a non-zero answer of the callback becomes the context's stop
// value and ends the rule. The result never exceeds one sector plus the limit.
std::uint64_t ExtendUntilBoundary(CarveContext& context, Bytes headerSector, std::uint64_t limit,
                                  const TrailerSearch& search = nullptr,
                                  BoundaryKind kind = BoundaryKind::kAnyFileStart,
                                  HeaderSectorSearch headerSearch = HeaderSectorSearch::kSkipped);

// Up to `count` sectors from `start` (at most one chunk, cut at the end of the medium), for
// size rules that look up structures beyond the header sector: from the walk's window
// when it holds them, else read into the context's read buffer. Empty when the read fails.
Bytes ReadSizingSectors(CarveContext& context, std::uint64_t start, std::uint64_t count);

}  // namespace keldrive
