#include <algorithm>

#include "carve/size_rules.h"
#include "carve/structure_ends.h"
#include "carve/trailer_search.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr std::uint64_t kPictureLimit = 128 * kMiB;
constexpr std::string_view kJpegEnd = "\xFF\xD9"sv;
constexpr std::string_view kGifEnd = "\x00\x3B"sv;
constexpr std::string_view kPngEnd = "IEND\xAE\x42\x60\x82"sv;

std::uint64_t SectorBytes(const CarveContext& context) {
  return static_cast<std::uint64_t>(context.probe.sectorSize);
}

// Pictures that end at their first padded trailer, looked for in the header sector first
// and then chunk by chunk.
std::uint64_t SizeByFirstPaddedTrailer(CarveContext& context, Bytes sector,
                                       std::string_view trailer) {
  if (const auto at = FindFirstPadded(sector, trailer, 0, 0, context.probe.sectorSize)) {
    return *at + trailer.size();
  }
  return ExtendUntilBoundary(context, sector, kPictureLimit,
                             [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
                               const auto at = FindFirstPadded(
                                   chunk.window, trailer, FirstNewPosition(chunk, trailer.size()),
                                   chunk.windowOffset, chunk.sectorSize);
                               if (!at) return std::nullopt;
                               return chunk.FileOffset(*at + trailer.size());
                             });
}

// The directory of an icon or font: in the header sector when it fits there, else in the
// first 64 KiB of the file. Empty when it lies beyond those too.
Bytes DirectoryBytes(CarveContext& context, Bytes sector, std::uint64_t directoryEnd) {
  if (directoryEnd <= sector.size()) return sector;
  const Bytes head =
      ReadSizingSectors(context, context.probe.hitSector, kCarveChunkBytes / SectorBytes(context));
  return directoryEnd <= head.size() ? head : Bytes{};
}

}  // namespace

std::uint64_t SizeJpeg(CarveContext& context, Bytes sector) {
  // Past the first start of scan, the first end marker ends the picture: coded data never
  // holds one, and an Exif thumbnail's end marker lies in a segment before.
  if (const auto scan = JpegScanStart(context, kPictureLimit)) {
    if (*scan < sector.size()) {
      if (const auto at = FindFirst(sector, kJpegEnd, static_cast<std::size_t>(*scan))) {
        return *at + kJpegEnd.size();
      }
    }
    std::optional<std::uint64_t> end;
    const std::uint64_t extent =
        ExtendUntilBoundary(context, sector, kPictureLimit,
                            [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
                              std::size_t from = FirstNewPosition(chunk, kJpegEnd.size());
                              if (*scan > chunk.windowOffset) {
                                from = std::max<std::size_t>(
                                    from, static_cast<std::size_t>(std::min<std::uint64_t>(
                                              *scan - chunk.windowOffset, chunk.window.size())));
                              }
                              const auto at = FindFirst(chunk.window, kJpegEnd, from);
                              if (!at) return std::nullopt;
                              end = chunk.FileOffset(*at + kJpegEnd.size());
                              return end;
                            });
    return end ? *end : extent;
  }
  // A JPEG that ends in its header sector ends there.
  if (const auto at = FindFirst(sector, kJpegEnd);
      at && IsPadded(sector, *at + kJpegEnd.size(), 0, context.probe.sectorSize)) {
    return *at + kJpegEnd.size();
  }
  // Otherwise the file runs to the next boundary; an end marker found on the way (the
  // first of its chunk, when padded) cuts it, the later one winning, since an embedded
  // thumbnail ends with the same marker.
  std::optional<std::uint64_t> candidate;
  const std::uint64_t extent = ExtendUntilBoundary(
      context, sector, kPictureLimit,
      [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        const auto at = FindFirst(chunk.window, kJpegEnd, FirstNewPosition(chunk, kJpegEnd.size()));
        if (at &&
            IsPadded(chunk.window, *at + kJpegEnd.size(), chunk.windowOffset, chunk.sectorSize)) {
          candidate = chunk.FileOffset(*at + kJpegEnd.size());
        }
        return std::nullopt;
      });
  return candidate ? std::min(extent, *candidate) : extent;
}

std::uint64_t SizeGif(CarveContext& context, Bytes sector) {
  if (const auto end = GifEnd(context, kPictureLimit)) return *end;
  return SizeByFirstPaddedTrailer(context, sector, kGifEnd);
}

std::uint64_t SizePng(CarveContext& context, Bytes sector) {
  if (const auto end = PngEnd(context, kPictureLimit)) return *end;
  return SizeByFirstPaddedTrailer(context, sector, kPngEnd);
}

std::uint64_t SizeBmp(CarveContext&, Bytes sector) {
  ByteReader r(sector);
  return std::min<std::uint64_t>(r.le32At(2), kPictureLimit);
}

std::uint64_t SizeIco(CarveContext& context, Bytes sector) {
  ByteReader header(sector);
  const std::uint32_t count = header.le16At(4);
  const std::uint64_t directoryEnd = 6 + std::uint64_t{count} * 16;
  const Bytes directory = DirectoryBytes(context, sector, directoryEnd);
  if (count == 0 || directory.empty()) return SectorBytes(context);
  // The images lie in directory order, so the last one ends the file.
  ByteReader r(directory);
  const std::size_t last = 6 + (std::size_t{count} - 1) * 16;
  const std::uint64_t imageBytes = r.le32At(last + 8);
  const std::uint64_t imageOffset = r.le32At(last + 12);
  return r.ok() ? imageOffset + imageBytes : SectorBytes(context);
}

std::uint64_t SizeTrueType(CarveContext& context, Bytes sector) {
  ByteReader header(sector);
  header.seek(4);
  const std::uint32_t tables = header.be16();
  const std::uint64_t directoryEnd = 12 + std::uint64_t{tables} * 16;
  const Bytes directory = DirectoryBytes(context, sector, directoryEnd);
  if (!header.ok() || directory.empty()) return SectorBytes(context);
  // Tables may lie in any order; the one that ends last ends the font.
  std::uint64_t end = 0;
  for (std::uint32_t i = 0; i < tables; ++i) {
    ByteReader entry = ByteReader(directory).at(12 + std::size_t{i} * 16 + 8, 8);
    const std::uint64_t offset = entry.be32();
    const std::uint64_t length = entry.be32();
    if (!entry.ok()) return SectorBytes(context);
    end = std::max(end, offset + length);
  }
  return end;
}

std::uint64_t SizeTiff(CarveContext& context, Bytes sector) {
  if (const auto end = TiffEnd(context, kPictureLimit)) return *end;
  return ExtendUntilBoundary(context, sector, kPictureLimit);
}

std::uint64_t SizePsd(CarveContext& context, Bytes sector) {
  if (const auto end = PsdEnd(context, kPictureLimit)) return *end;
  return ExtendUntilBoundary(context, sector, kPictureLimit);
}

}  // namespace keldrive
