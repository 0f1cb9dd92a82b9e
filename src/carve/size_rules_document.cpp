#include <algorithm>

#include "carve/size_rules.h"
#include "carve/structure_ends.h"
#include "carve/trailer_search.h"
#include "disk/checked_math.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr std::uint64_t kPdfLimit = 1 * kGiB;
constexpr std::uint64_t kArchiveLimit = 4 * kGiB;
constexpr std::uint64_t kCabinetLimit = 1 * kGiB;
constexpr std::uint64_t kPackageLimit = 0x7FFFFFF;
constexpr std::uint64_t kGzipLimit = 6 * kGiB;
constexpr std::uint64_t kDatabaseLimit = 4 * kGiB;

constexpr std::string_view kPdfEnd = "%%EOF"sv;
constexpr std::string_view kPdfTrailer = "trailer"sv;
constexpr std::string_view kZipEnd = "PK\x05\x06"sv;
constexpr std::size_t kZipEndBytes = 22;  // before the comment
constexpr std::size_t kZipCommentLength = 20;
// The folder record of a 7z archive's packed end header (one LZMA coder). The archive
// ends 27 bytes after its start when the header's unpacked size takes two bytes, as it
// does once an archive lists more than a couple of names.
constexpr std::string_view k7zEnd = "\x00\x07\x0B\x01\x00\x01\x23\x03\x01\x01\x05\x5D"sv;
constexpr std::size_t k7zEndBytes = 27;
constexpr std::string_view kRarEnd = "\xC4\x3D\x7B\x00\x40\x07\x00"sv;

// The line end that closes a PDF after its last "%%EOF", if the bytes hold one.
std::size_t LineEndAt(Bytes window, std::size_t at) {
  if (HasBytesAt(window, at, "\r\n")) return 2;
  if (HasBytesAt(window, at, "\n") || HasBytesAt(window, at, "\r")) return 1;
  return 0;
}

// A trailer found in the header sector ends a file smaller than a sector only when
// nothing but zeros follows it there, as a file system leaves the rest of a file's last
// sector: bytes after it mean the trailer belongs to something inside a larger file.
std::optional<std::uint64_t> EndIfPaddedInHeader(const ScannedChunk& chunk,
                                                 std::optional<std::uint64_t> end) {
  if (!chunk.isHeaderSector || !end) return end;
  if (*end > chunk.window.size()) return std::nullopt;
  if (!IsPadded(chunk.window, static_cast<std::size_t>(*end), 0, chunk.sectorSize)) {
    return std::nullopt;
  }
  return end;
}

std::uint64_t SizeByLastTrailer(CarveContext& context, Bytes sector, std::uint64_t limit,
                                std::string_view trailer, std::size_t trailerBytes) {
  return ExtendUntilBoundary(
      context, sector, limit,
      [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        const auto at = FindLastWithinFile(chunk, trailer);
        if (!at) return std::nullopt;
        return EndIfPaddedInHeader(chunk, chunk.FileOffset(*at + trailerBytes));
      },
      BoundaryKind::kAnyFileStart, HeaderSectorSearch::kSearched);
}

// The two bytes at file offset `offset`: from the bytes at hand when they hold them, else
// read from the medium.
std::optional<std::uint16_t> FileLe16(CarveContext& context, const ScannedChunk& chunk,
                                      std::size_t windowPosition) {
  ByteReader here(chunk.window);
  const std::uint16_t value = here.le16At(windowPosition);
  if (here.ok()) return value;
  const SectorProbe& probe = context.probe;
  const auto sectorBytes = static_cast<std::uint64_t>(probe.sectorSize);
  const std::uint64_t offset = chunk.FileOffset(windowPosition);
  const auto sector = CheckedAdd64(probe.hitSector, offset / sectorBytes);
  if (!sector) return std::nullopt;
  ByteReader read(context.probe.ReadSectors(*sector, 2));
  const std::uint16_t stored = read.le16At(static_cast<std::size_t>(offset % sectorBytes));
  return read.ok() ? std::optional(stored) : std::nullopt;
}

// The four bytes at `windowPosition`, through FileLe16.
std::optional<std::uint32_t> FileLe32(CarveContext& context, const ScannedChunk& chunk,
                                      std::size_t windowPosition) {
  const auto low = FileLe16(context, chunk, windowPosition);
  const auto high = FileLe16(context, chunk, windowPosition + 2);
  if (!low || !high) return std::nullopt;
  return static_cast<std::uint32_t>(*low) | (static_cast<std::uint32_t>(*high) << 16);
}

// Whether the end record at `windowPosition` closes the archive that starts the file: its
// central directory, by the offset and size it gives, ends right where the record begins.
// An archive stored inside the file has an end record of its own that does not.
bool ClosesTheFile(CarveContext& context, const ScannedChunk& chunk, std::size_t windowPosition) {
  const auto directoryBytes = FileLe32(context, chunk, windowPosition + 12);
  const auto directoryOffset = FileLe32(context, chunk, windowPosition + 16);
  return directoryBytes && directoryOffset &&
         std::uint64_t{*directoryOffset} + *directoryBytes == chunk.FileOffset(windowPosition);
}

// ZIP and Office packages end after the end-of-central-directory record that closes
// them, and the archive comment it gives the length of. When no record does (an archive
// with bytes before it, or a damaged one), the last record found counts.
std::uint64_t SizeZipArchive(CarveContext& context, Bytes sector, std::uint64_t limit) {
  return ExtendUntilBoundary(
      context, sector, limit,
      [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        std::optional<std::size_t> at = FindLastWithinFile(chunk, kZipEnd);
        if (!at) return std::nullopt;
        for (auto record =
                 FindFirst(chunk.window, kZipEnd, FirstNewPosition(chunk, kZipEnd.size()));
             record; record = FindFirst(chunk.window, kZipEnd, *record + 1)) {
          if (ClosesTheFile(context, chunk, *record)) {
            at = record;
            break;
          }
        }
        const auto commentBytes = FileLe16(context, chunk, *at + kZipCommentLength);
        std::uint64_t end = chunk.FileOffset(*at + kZipEndBytes);
        // A comment that would run past the next file's start is not believed.
        if (commentBytes && (!chunk.boundary || end + *commentBytes <= chunk.extent)) {
          end += *commentBytes;
        }
        if (ClosesTheFile(context, chunk, *at)) return end;
        return EndIfPaddedInHeader(chunk, end);
      },
      BoundaryKind::kAnyFileStart, HeaderSectorSearch::kSearched);
}

}  // namespace

std::uint64_t SizePdf(CarveContext& context, Bytes sector) {
  // Incremental updates append sections that each end with "%%EOF": the last one counts.
  return ExtendUntilBoundary(
      context, sector, kPdfLimit,
      [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        if (const auto at = FindLastWithinFile(chunk, kPdfEnd)) {
          const std::size_t end = *at + kPdfEnd.size();
          return EndIfPaddedInHeader(chunk, chunk.FileOffset(end + LineEndAt(chunk.window, end)));
        }
        if (const auto at = FindLastWithinFile(chunk, kPdfTrailer)) {
          return EndIfPaddedInHeader(chunk, chunk.FileOffset(*at + kPdfTrailer.size()));
        }
        return std::nullopt;
      },
      BoundaryKind::kAnyFileStart, HeaderSectorSearch::kSearched);
}

std::uint64_t SizeZip(CarveContext& context, Bytes sector) {
  return SizeZipArchive(context, sector, kArchiveLimit);
}

std::uint64_t SizePackage(CarveContext& context, Bytes sector) {
  return SizeZipArchive(context, sector, kPackageLimit);
}

std::uint64_t Size7z(CarveContext& context, Bytes sector) {
  return SizeByLastTrailer(context, sector, kArchiveLimit, k7zEnd, k7zEndBytes);
}

std::uint64_t SizeRar(CarveContext& context, Bytes sector) {
  return ExtendUntilBoundary(
      context, sector, kArchiveLimit,
      [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        const auto at =
            FindFirstPadded(chunk.window, kRarEnd, FirstNewPosition(chunk, kRarEnd.size()),
                            chunk.windowOffset, chunk.sectorSize);
        if (!at) return std::nullopt;
        return chunk.FileOffset(*at + kRarEnd.size());
      },
      BoundaryKind::kAnyFileStart, HeaderSectorSearch::kSearched);
}

std::uint64_t SizeCab(CarveContext& context, Bytes sector) {
  if (sector.size() < 36) return static_cast<std::uint64_t>(context.probe.sectorSize);
  return std::min<std::uint64_t>(ByteReader(sector).le32At(8), kCabinetLimit);
}

std::uint64_t SizeGzip(CarveContext& context, Bytes sector) {
  if (const auto end = GzipEnd(context, kGzipLimit)) return *end;
  return ExtendUntilBoundary(context, sector, kGzipLimit);
}

std::uint64_t SizeSqlite(CarveContext& context, Bytes sector) {
  if (const auto end = SqliteEnd(context, kDatabaseLimit)) return *end;
  return ExtendUntilBoundary(context, sector, kDatabaseLimit);
}

}  // namespace keldrive
