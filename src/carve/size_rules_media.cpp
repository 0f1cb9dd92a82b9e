#include <algorithm>

#include "carve/matroska_header.h"
#include "carve/size_rules.h"
#include "carve/structure_ends.h"
#include "carve/trailer_search.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr std::uint64_t kStreamLimit = 6 * kGiB;
constexpr std::uint64_t kFlashLimit = 256 * kMiB;
constexpr std::uint64_t kAudioLimit = 2 * kGiB;
constexpr std::uint64_t kMidiLimit = 8 * kMiB;
constexpr std::uint64_t kMatroskaLimit = 64 * kGiB;

// ASF: the file-properties object, its file size and its flags (bit 0: broadcast, where
// the size is not known).
constexpr std::string_view kAsfFileProperties =
    "\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65"sv;
constexpr std::size_t kAsfFirstObject = 30;
constexpr std::size_t kAsfFileSize = 40;
constexpr std::size_t kAsfFlags = 88;

constexpr std::string_view kMp4Producer = "freeIsoMedia File Produced"sv;
constexpr std::string_view kRealMediaEmptyIndex =
    "INDX\x00\x00\x00\x14\x00\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x00"sv;
constexpr std::string_view kId3v1Tag = "TAG"sv;
constexpr std::size_t kId3v1Bytes = 128;
constexpr std::string_view kApeTag = "APETAGEX\xD0\x07"sv;
constexpr std::size_t kApeFooterBytes = 32;
constexpr std::size_t kMidiHeaderBytes = 14;
constexpr std::size_t kMidiTrackHeaderBytes = 8;

std::uint64_t SectorBytes(const CarveContext& context) {
  return static_cast<std::uint64_t>(context.probe.sectorSize);
}

// Counts MIDI track chunks as they turn up, header sector first, then chunk by chunk.
class MidiTrackCounter {
 public:
  explicit MidiTrackCounter(std::uint32_t tracks) : tracks_(tracks) {}

  // Looks for further tracks in `window` (file bytes from `windowOffset`); true once the
  // last track has been counted.
  bool Count(Bytes window, std::uint64_t windowOffset) {
    while (counted_ < tracks_) {
      const std::uint64_t windowEnd = windowOffset + window.size();
      if (next_ >= windowEnd) return false;
      const std::size_t from =
          next_ > windowOffset ? static_cast<std::size_t>(next_ - windowOffset) : 0;
      const auto at = FindFirst(window, "MTrk", from);
      if (!at) {
        // A tag cut by the end of the window is found again in the next one, whose lead
        // repeats these bytes.
        next_ = std::max(next_, windowEnd - std::min<std::uint64_t>(window.size(), 3));
        return false;
      }
      ByteReader length = ByteReader(window).at(*at + 4, 4);
      const std::uint64_t trackBytes = length.be32();
      if (!length.ok()) {
        next_ = windowOffset + *at;
        return false;
      }
      sum_ += kMidiTrackHeaderBytes + trackBytes;
      // The next track is looked for after this one's data, never inside it.
      next_ = windowOffset + *at + kMidiTrackHeaderBytes + trackBytes;
      ++counted_;
    }
    return true;
  }

  std::uint64_t Sum() const { return sum_; }

 private:
  std::uint32_t tracks_;
  std::uint32_t counted_ = 0;
  std::uint64_t next_ = kMidiHeaderBytes;
  std::uint64_t sum_ = kMidiHeaderBytes;
};

}  // namespace

std::uint64_t SizeRiff(CarveContext& context, Bytes sector) {
  // The RIFF size covers everything after its own 8 bytes; it is taken without limit.
  if (sector.size() < 16) return SectorBytes(context);
  return std::uint64_t{ByteReader(sector).le32At(4)} + 8;
}

std::uint64_t SizeSwf(CarveContext& context, Bytes sector) {
  // Only a plain movie states its stored length; a compressed one states the inflated.
  if (!HasBytesAt(sector, 0, "FWS")) return SectorBytes(context);
  return std::min<std::uint64_t>(ByteReader(sector).le32At(4), kFlashLimit);
}

std::uint64_t SizeAsf(CarveContext& context, Bytes sector) {
  const auto object = FindFirst(sector, kAsfFileProperties, kAsfFirstObject);
  if (!object) return SectorBytes(context);
  ByteReader r(sector);
  const std::uint32_t flags = r.le32At(*object + kAsfFlags);
  const std::uint64_t fileSize = r.le64At(*object + kAsfFileSize);
  if (!r.ok() || (flags & 1) != 0) return SectorBytes(context);
  return std::min(fileSize, kFlashLimit);
}

std::uint64_t SizeMpeg(CarveContext& context, Bytes sector) {
  if (HasBytesAt(sector, 0, "\x00\x00\x01\xBA"sv)) {
    if (const auto end = MpegProgramEnd(context, kStreamLimit)) return *end;
  }
  // A video elementary stream ends with a sequence end code, a program stream with a
  // program end code.
  const std::string_view endCode =
      HasBytesAt(sector, 0, "\x00\x00\x01\xB3"sv) ? "\x00\x00\x01\xB7"sv : "\x00\x00\x01\xB9"sv;
  return ExtendUntilBoundary(
      context, sector, kStreamLimit,
      [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        const auto at =
            FindFirstPadded(chunk.window, endCode, FirstNewPosition(chunk, endCode.size()),
                            chunk.windowOffset, chunk.sectorSize);
        if (!at) return std::nullopt;
        return chunk.FileOffset(*at + endCode.size());
      },
      BoundaryKind::kIgnoreMpegStarts);
}

std::uint64_t SizeMp4(CarveContext& context, Bytes sector) {
  if (const auto end = IsoMediaEnd(context, kStreamLimit)) return *end;
  return ExtendUntilBoundary(
      context, sector, kStreamLimit,
      [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        const auto at =
            FindFirst(chunk.window, kMp4Producer, FirstNewPosition(chunk, kMp4Producer.size()));
        if (!at) return std::nullopt;
        // The producer's name runs on to the first zero byte.
        const Bytes rest = chunk.window.subspan(*at + kMp4Producer.size());
        const auto named = static_cast<std::size_t>(
            std::find(rest.begin(), rest.end(), std::uint8_t{0}) - rest.begin());
        return chunk.FileOffset(*at + kMp4Producer.size() + named);
      });
}

std::uint64_t SizeQuickTime(CarveContext& context, Bytes sector) {
  if (const auto end = IsoMediaEnd(context, kStreamLimit)) return *end;
  return ExtendUntilBoundary(context, sector, kStreamLimit);
}

std::uint64_t SizeFlv(CarveContext& context, Bytes sector) {
  if (const auto end = FlvEnd(context, kStreamLimit)) return *end;
  return ExtendUntilBoundary(context, sector, kStreamLimit);
}

std::uint64_t SizeMxf(CarveContext& context, Bytes sector) {
  if (const auto end = MxfEnd(context, kStreamLimit)) return *end;
  return ExtendUntilBoundary(context, sector, kStreamLimit);
}

std::uint64_t SizeRealMedia(CarveContext& context, Bytes sector) {
  return ExtendUntilBoundary(context, sector, kStreamLimit,
                             [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
                               const auto at =
                                   FindFirst(chunk.window, kRealMediaEmptyIndex,
                                             FirstNewPosition(chunk, kRealMediaEmptyIndex.size()));
                               if (!at) return std::nullopt;
                               return chunk.FileOffset(*at + kRealMediaEmptyIndex.size());
                             });
}

std::uint64_t SizeMp3(CarveContext& context, Bytes sector) {
  // An ID3v1 tag closes the file with 128 bytes; the last one seen wins.
  std::optional<std::uint64_t> candidate;
  const std::uint64_t extent = ExtendUntilBoundary(
      context, sector, kAudioLimit, [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        if (const auto at =
                FindFirst(chunk.window, kId3v1Tag, FirstNewPosition(chunk, kId3v1Tag.size()))) {
          candidate = chunk.FileOffset(*at + kId3v1Bytes);
        }
        return std::nullopt;
      });
  return candidate ? std::min(extent, *candidate) : extent;
}

std::uint64_t SizeApe(CarveContext& context, Bytes sector) {
  // An APE tag has a header and a footer of the same shape; the footer ends the file.
  return ExtendUntilBoundary(
      context, sector, kAudioLimit, [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
        const auto header =
            FindFirst(chunk.window, kApeTag, FirstNewPosition(chunk, kApeTag.size()));
        if (!header) return std::nullopt;
        if (const auto footer = FindFirst(chunk.window, kApeTag, *header + 1)) {
          return chunk.FileOffset(*footer + kApeFooterBytes);
        }
        return chunk.extent;
      });
}

std::uint64_t SizeMatroska(CarveContext& context, Bytes sector) {
  // A Segment of known size ends the file there, or earlier at a boundary; one of unknown
  // size runs to the boundary.
  const auto header = ParseMatroskaHeader(sector);
  const std::uint64_t sectorBytes = SectorBytes(context);
  if (!header || !header->fileBytes) return ExtendUntilBoundary(context, sector, kMatroskaLimit);
  const std::uint64_t fileBytes = *header->fileBytes;
  if (fileBytes <= sectorBytes) return fileBytes;
  const std::uint64_t after = fileBytes - sectorBytes;
  const std::uint64_t afterSectors = after / sectorBytes + (after % sectorBytes != 0 ? 1 : 0);
  const std::uint64_t limit = std::min(kMatroskaLimit, afterSectors * sectorBytes);
  return std::min(ExtendUntilBoundary(context, sector, limit), fileBytes);
}

std::uint64_t SizeMidi(CarveContext& context, Bytes sector) {
  ByteReader header = ByteReader(sector).at(10, 2);
  MidiTrackCounter counter(header.be16());
  if (counter.Count(sector, 0)) return std::min(counter.Sum(), SectorBytes(context));
  return ExtendUntilBoundary(context, sector, kMidiLimit,
                             [&](const ScannedChunk& chunk) -> std::optional<std::uint64_t> {
                               if (!counter.Count(chunk.window, chunk.windowOffset)) {
                                 return std::nullopt;
                               }
                               return std::min(counter.Sum(), chunk.extent);
                             });
}

}  // namespace keldrive
