#include "carve/matroska_header.h"

#include <bit>

#include "disk/checked_math.h"

namespace keldrive {

using namespace std::string_view_literals;

namespace {

constexpr std::string_view kEbmlMagic = "\x1A\x45\xDF\xA3"sv;
constexpr std::string_view kSegmentId = "\x18\x53\x80\x67"sv;
constexpr std::uint32_t kDocTypeId = 0x4282;
// Real EBML headers take about 40 bytes; the whole header must lie in the first sector.
constexpr std::uint64_t kMaxHeaderBytes = 256;
constexpr std::size_t kMaxIdBytes = 4;

struct Vint {
  std::size_t length = 0;
  std::uint64_t value = 0;  // without the length marker
  bool unknown = false;     // all value bits set: "size not known"
};

// An EBML variable-length integer: the count of leading zero bits of its first byte gives
// its length.
std::optional<Vint> ReadVint(Bytes bytes, std::size_t at, std::size_t maxLength = 8) {
  if (at >= bytes.size() || bytes[at] == 0) return std::nullopt;
  const std::uint8_t first = bytes[at];
  const auto length = static_cast<std::size_t>(std::countl_zero(first)) + 1;
  if (length > maxLength || length > bytes.size() - at) return std::nullopt;
  std::uint64_t value = first & (0xFFu >> length);
  for (std::size_t i = 1; i < length; ++i) value = value << 8 | bytes[at + i];
  const std::uint64_t allOnes = (std::uint64_t{1} << (7 * length)) - 1;
  return Vint{length, value, value == allOnes};
}

// An element identifier, read with its marker bits as the format writes identifiers.
std::optional<std::pair<std::uint32_t, std::size_t>> ReadId(Bytes bytes, std::size_t at) {
  const auto id = ReadVint(bytes, at, kMaxIdBytes);
  if (!id) return std::nullopt;
  std::uint32_t raw = 0;
  for (std::size_t i = 0; i < id->length; ++i) raw = raw << 8 | bytes[at + i];
  return std::pair{raw, id->length};
}

bool IsMatroskaDocType(Bytes value) {
  while (!value.empty() && value.back() == 0) value = value.first(value.size() - 1);
  return (value.size() == 8 && HasBytesAt(value, 0, "matroska")) ||
         (value.size() == 4 && HasBytesAt(value, 0, "webm"));
}

}  // namespace

std::optional<MatroskaHeader> ParseMatroskaHeader(Bytes bytes) {
  if (!HasBytesAt(bytes, 0, kEbmlMagic)) return std::nullopt;
  const auto headerSize = ReadVint(bytes, kEbmlMagic.size());
  if (!headerSize || headerSize->unknown || headerSize->value > kMaxHeaderBytes) {
    return std::nullopt;
  }
  const std::size_t dataStart = kEbmlMagic.size() + headerSize->length;
  const std::size_t dataEnd = dataStart + static_cast<std::size_t>(headerSize->value);
  if (dataEnd > bytes.size()) return std::nullopt;

  // Every element of the header lies inside it, and one names the document type.
  bool matroska = false;
  std::size_t at = dataStart;
  while (at < dataEnd) {
    const auto id = ReadId(bytes, at);
    if (!id) return std::nullopt;
    at += id->second;
    const auto size = ReadVint(bytes, at);
    if (!size || size->unknown) return std::nullopt;
    at += size->length;
    if (at > dataEnd || size->value > dataEnd - at) return std::nullopt;
    const Bytes value = bytes.subspan(at, static_cast<std::size_t>(size->value));
    if (id->first == kDocTypeId) matroska = IsMatroskaDocType(value);
    at += value.size();
  }
  if (!matroska || !HasBytesAt(bytes, dataEnd, kSegmentId)) return std::nullopt;
  const auto segmentSize = ReadVint(bytes, dataEnd + kSegmentId.size());
  if (!segmentSize) return std::nullopt;

  MatroskaHeader header;
  if (!segmentSize->unknown) {
    header.fileBytes =
        CheckedAdd64(dataEnd + kSegmentId.size() + segmentSize->length, segmentSize->value);
  }
  return header;
}

}  // namespace keldrive
