#include <algorithm>

#include "carve/size_rules.h"
#include "carve/trailer_search.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr std::uint64_t kPdfLimit = 1 * kGiB;
constexpr std::uint64_t kArchiveLimit = 4 * kGiB;
constexpr std::uint64_t kCabinetLimit = 1 * kGiB;
constexpr std::uint64_t kPackageLimit = 0x7FFFFFF;

constexpr std::string_view kPdfEnd = "%%EOF"sv;
constexpr std::string_view kPdfTrailer = "trailer"sv;
constexpr std::string_view kZipEnd = "PK\x05\x06"sv;
constexpr std::size_t kZipEndBytes = 22;
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

std::uint64_t SizeByLastTrailer(CarveContext& context, Bytes sector, std::uint64_t limit,
                                std::string_view trailer, std::size_t trailerBytes) {
  return ExtendUntilBoundary(context, sector, limit,
                             [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
                               const auto at = FindLastWithinFile(chunk, trailer);
                               if (!at) return std::nullopt;
                               return chunk.FileOffset(*at + trailerBytes);
                             });
}

}  // namespace

std::uint64_t SizePdf(CarveContext& context, Bytes sector) {
  // Incremental updates append sections that each end with "%%EOF": the last one counts.
  return ExtendUntilBoundary(context, sector, kPdfLimit,
                             [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
                               if (const auto at = FindLastWithinFile(chunk, kPdfEnd)) {
                                 const std::size_t end = *at + kPdfEnd.size();
                                 return chunk.FileOffset(end + LineEndAt(chunk.window, end));
                               }
                               if (const auto at = FindLastWithinFile(chunk, kPdfTrailer)) {
                                 return chunk.FileOffset(*at + kPdfTrailer.size());
                               }
                               return std::nullopt;
                             });
}

std::uint64_t SizeZip(CarveContext& context, Bytes sector) {
  return SizeByLastTrailer(context, sector, kArchiveLimit, kZipEnd, kZipEndBytes);
}

std::uint64_t SizePackage(CarveContext& context, Bytes sector) {
  return SizeByLastTrailer(context, sector, kPackageLimit, kZipEnd, kZipEndBytes);
}

std::uint64_t Size7z(CarveContext& context, Bytes sector) {
  return SizeByLastTrailer(context, sector, kArchiveLimit, k7zEnd, k7zEndBytes);
}

std::uint64_t SizeRar(CarveContext& context, Bytes sector) {
  return ExtendUntilBoundary(context, sector, kArchiveLimit,
                             [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
                               const auto at = FindFirstPadded(
                                   chunk.window, kRarEnd, FirstNewPosition(chunk, kRarEnd.size()),
                                   chunk.windowOffset, chunk.sectorSize);
                               if (!at) return std::nullopt;
                               return chunk.FileOffset(*at + kRarEnd.size());
                             });
}

std::uint64_t SizeCab(CarveContext& context, Bytes sector) {
  if (sector.size() < 36) return static_cast<std::uint64_t>(context.probe.sectorSize);
  return std::min<std::uint64_t>(ByteReader(sector).le32At(8), kCabinetLimit);
}

}  // namespace keldrive
