#include "carve/structure_ends.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "carve/file_bytes.h"
#include "disk/checked_math.h"

namespace keldrive {

namespace {

// Skips GIF data sub-blocks (a length byte, then that many bytes, until a zero length).
std::optional<std::uint64_t> SkipSubBlocks(FileBytes& bytes, std::uint64_t at) {
  while (true) {
    const auto length = bytes.At(at);
    if (!length) return std::nullopt;
    at += 1u + *length;
    if (*length == 0) return at;
  }
}

std::uint64_t ColourTableBytes(std::uint8_t packed) {
  return (packed & 0x80) != 0 ? 3u * (2u << (packed & 7)) : 0;
}

bool IsBoxTypeByte(std::uint8_t byte) {
  return byte >= 0x20 && byte <= 0x7E;
}

}  // namespace

std::optional<std::uint64_t> GifEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  const auto screen = bytes.At(10);
  if (!screen) return std::nullopt;
  std::uint64_t at = 13 + ColourTableBytes(*screen);
  while (true) {
    const auto block = bytes.At(at);
    if (!block) return std::nullopt;
    if (*block == 0x3B) return at + 1;
    if (*block == 0x21) {
      const auto next = SkipSubBlocks(bytes, at + 2);
      if (!next) return std::nullopt;
      at = *next;
    } else if (*block == 0x2C) {
      const auto packed = bytes.At(at + 9);
      if (!packed) return std::nullopt;
      // Descriptor, local colour table, the LZW code size, then the image data.
      const auto next = SkipSubBlocks(bytes, at + 10 + ColourTableBytes(*packed) + 1);
      if (!next) return std::nullopt;
      at = *next;
    } else {
      return std::nullopt;
    }
  }
}

std::optional<std::uint64_t> PngEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  std::uint64_t at = 8;
  while (true) {
    const auto length = bytes.Be32(at);
    const auto type = bytes.Be32(at + 4);
    if (!length || !type || *length > 0x7FFFFFFFu) return std::nullopt;
    for (int shift = 0; shift < 32; shift += 8) {
      const auto letter = static_cast<char>((*type >> shift) & 0xFF);
      if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) {
        return std::nullopt;
      }
    }
    at += 12u + *length;  // length, type, data, CRC
    if (*type == 0x49454E44u) return at <= limit ? std::optional(at) : std::nullopt;  // IEND
  }
}

std::optional<std::uint64_t> JpegScanStart(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  std::uint64_t at = 2;
  while (true) {
    if (bytes.At(at) != 0xFF) return std::nullopt;
    auto marker = bytes.At(at + 1);
    while (marker == 0xFF) marker = bytes.At(++at + 1);  // fill bytes
    if (!marker) return std::nullopt;
    if (*marker == 0xDA) return at;
    if (*marker == 0xD9 || *marker == 0x00) return std::nullopt;
    if (*marker == 0x01 || (*marker >= 0xD0 && *marker <= 0xD7)) {
      at += 2;  // markers without a length
      continue;
    }
    const auto length = bytes.Be16(at + 2);
    if (!length || *length < 2) return std::nullopt;
    at += 2u + *length;
  }
}

std::optional<std::uint64_t> IsoMediaEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  std::uint64_t at = 0;
  bool movie = false;
  bool media = false;
  while (true) {
    const auto size32 = bytes.Be32(at);
    const auto type = bytes.Be32(at + 4);
    const bool complete = movie && media;
    if (!size32 || !type) return complete && at <= limit ? std::optional(at) : std::nullopt;
    bool isBox = true;
    for (int shift = 0; shift < 32; shift += 8) {
      isBox = isBox && IsBoxTypeByte(static_cast<std::uint8_t>((*type >> shift) & 0xFF));
    }
    // Another file's "ftyp" ends this one.
    if (!isBox || (at != 0 && *type == 0x66747970u)) {
      return complete ? std::optional(at) : std::nullopt;
    }
    std::uint64_t size = *size32;
    if (size == 1) {
      const auto large = bytes.Be64(at + 8);
      if (!large) return std::nullopt;
      size = *large;
    }
    if (size == 0) return std::nullopt;  // runs to the end of a file whose end is unknown
    if (size < 8) return complete ? std::optional(at) : std::nullopt;
    movie = movie || *type == 0x6D6F6F76u || *type == 0x6D6F6F66u;  // moov, moof
    media = media || *type == 0x6D646174u;                          // mdat
    const auto next = CheckedAdd64(at, size);
    if (!next || *next > limit) return std::nullopt;
    at = *next;
  }
}

std::optional<std::uint64_t> FlvEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  const auto headerBytes = bytes.Be32(5);
  if (!headerBytes || *headerBytes < 9 || *headerBytes > 1024) return std::nullopt;
  std::uint64_t at = *headerBytes + 4u;  // past the first, empty, previous-tag size
  std::uint64_t tags = 0;
  while (true) {
    const auto type = bytes.At(at);
    const auto dataBytes = bytes.Be32(at);   // type and 24-bit size
    const auto stream = bytes.Be32(at + 7);  // last timestamp byte and 24-bit stream id
    if (!type || !dataBytes || !stream ||
        ((*type & 0x1F) != 8 && (*type & 0x1F) != 9 && (*type & 0x1F) != 18) ||
        (*stream & 0xFFFFFF) != 0) {
      break;
    }
    const std::uint64_t tagBytes = 11u + (*dataBytes & 0xFFFFFF);
    if (bytes.Be32(at + tagBytes) != tagBytes) break;
    at += tagBytes + 4;
    ++tags;
  }
  return tags > 0 ? std::optional(at) : std::nullopt;
}

std::optional<std::uint64_t> MpegProgramEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  std::uint64_t at = 0;
  std::uint64_t packs = 0;
  while (true) {
    const auto code = bytes.Be32(at);
    if (!code) break;
    if (*code == 0x000001BA) {
      const auto marker = bytes.At(at + 4);
      if (!marker) break;
      if ((*marker & 0xC0) == 0x40) {  // MPEG-2 pack header, with its stuffing
        const auto stuffing = bytes.At(at + 13);
        if (!stuffing) break;
        at += 14u + (*stuffing & 7u);
      } else if ((*marker & 0xF0) == 0x20) {  // MPEG-1
        at += 12;
      } else {
        break;
      }
      ++packs;
    } else if (*code == 0x000001B9) {
      return at + 4;
    } else if (*code >= 0x000001BB && *code <= 0x000001FF) {
      const auto length = bytes.Be16(at + 4);
      if (!length) break;
      at += 6u + *length;
    } else {
      break;
    }
  }
  return packs > 0 && at <= limit ? std::optional(at) : std::nullopt;
}

std::optional<std::uint64_t> GzipEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return std::nullopt;
  std::array<std::uint8_t, 32 * 1024> scratch{};
  std::uint64_t fed = 0;
  int status = Z_OK;
  while (context.stopValue == result::kSuccess) {
    const Bytes input = bytes.From(fed);
    if (input.empty()) break;
    // zlib takes its input through a non-const pointer but never writes to it.
    stream.next_in = const_cast<Bytef*>(input.data());  // NOLINT
    stream.avail_in = static_cast<uInt>(input.size());
    do {
      stream.next_out = scratch.data();
      stream.avail_out = static_cast<uInt>(scratch.size());
      status = inflate(&stream, Z_NO_FLUSH);
    } while (status == Z_OK && stream.avail_in > 0);
    const std::size_t consumed = input.size() - stream.avail_in;
    fed += consumed;
    if (status != Z_OK && status != Z_BUF_ERROR) break;  // the end, or data that is no stream
    if (consumed == 0) break;
  }
  const std::uint64_t end = stream.total_in;
  inflateEnd(&stream);
  return status == Z_STREAM_END ? std::optional(end) : std::nullopt;
}

namespace {

// TIFF fields, in the byte order the header gives.
struct TiffReader {
  FileBytes& bytes;
  bool big;
  std::optional<std::uint32_t> U32(std::uint64_t at) {
    return big ? bytes.Be32(at) : bytes.Le32(at);
  }
  std::optional<std::uint16_t> U16(std::uint64_t at) {
    return big ? bytes.Be16(at) : bytes.Le16(at);
  }
  // Element `index` of an array of SHORT (3) or LONG (4) values.
  std::optional<std::uint32_t> Element(std::uint16_t type, std::uint64_t at, std::uint64_t index) {
    if (type == 3) {
      const auto value = U16(at + 2 * index);
      return value ? std::optional<std::uint32_t>(*value) : std::nullopt;
    }
    return U32(at + 4 * index);
  }
};

std::uint64_t TiffTypeBytes(std::uint16_t type) {
  switch (type) {
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
    case 13:
      return 4;
    case 5:
    case 10:
    case 12:
      return 8;
    default:
      return 1;
  }
}

constexpr std::uint32_t kMaxTiffDirectories = 256;
constexpr std::uint32_t kMaxTiffPieces = 1u << 20;

}  // namespace

std::optional<std::uint64_t> TiffEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  TiffReader tiff{bytes, bytes.At(0) == 'M'};
  auto directory = tiff.U32(4);
  std::uint64_t end = 8;
  for (std::uint32_t seen = 0; directory && *directory != 0; ++seen) {
    if (seen == kMaxTiffDirectories || *directory >= limit) return std::nullopt;
    const auto entries = tiff.U16(*directory);
    if (!entries || *entries == 0) return std::nullopt;
    const std::uint64_t first = *directory + 2u;
    end = std::max<std::uint64_t>(end, first + 12u * *entries + 4u);
    // Strip or tile offsets with their byte counts, each array as (type, count, where).
    struct Array {
      std::uint16_t type = 0;
      std::uint32_t count = 0;
      std::uint64_t at = 0;
    };
    Array offsets, counts;
    for (std::uint32_t i = 0; i < *entries; ++i) {
      const std::uint64_t entry = first + 12u * i;
      const auto tag = tiff.U16(entry);
      const auto type = tiff.U16(entry + 2);
      const auto count = tiff.U32(entry + 4);
      const auto value = tiff.U32(entry + 8);
      if (!tag || !type || !count || !value) return std::nullopt;
      const std::uint64_t valueBytes = TiffTypeBytes(*type) * *count;
      const bool inline_ = valueBytes <= 4;
      if (!inline_) end = std::max<std::uint64_t>(end, std::uint64_t{*value} + valueBytes);
      const Array array{*type, *count, inline_ ? entry + 8 : std::uint64_t{*value}};
      if (*tag == 273 || *tag == 324) offsets = array;
      if (*tag == 279 || *tag == 325) counts = array;
    }
    if (offsets.count != counts.count || offsets.count > kMaxTiffPieces ||
        (offsets.type != 3 && offsets.type != 4) || (counts.type != 3 && counts.type != 4)) {
      return std::nullopt;
    }
    for (std::uint64_t i = 0; i < offsets.count; ++i) {
      const auto offset = tiff.Element(offsets.type, offsets.at, i);
      const auto length = tiff.Element(counts.type, counts.at, i);
      if (!offset || !length) return std::nullopt;
      end = std::max<std::uint64_t>(end, std::uint64_t{*offset} + *length);
    }
    directory = tiff.U32(first + 12u * *entries);
  }
  if (!directory || end > limit) return std::nullopt;
  return end;
}

std::optional<std::uint64_t> PsdEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  const auto version = bytes.Be16(4);
  const auto channels = bytes.Be16(12);
  const auto height = bytes.Be32(14);
  const auto width = bytes.Be32(18);
  const auto depth = bytes.Be16(22);
  if (!version || !channels || !height || !width || !depth || (*version != 1 && *version != 2)) {
    return std::nullopt;
  }
  const bool large = *version == 2;
  std::uint64_t at = 26;
  for (int section = 0; section < 3; ++section) {  // colour data, resources, layers
    const bool wide = large && section == 2;
    const auto length = wide ? bytes.Be64(at) : std::optional<std::uint64_t>(bytes.Be32(at));
    if (!length || *length > limit) return std::nullopt;
    at += (wide ? 8u : 4u) + *length;
  }
  const auto compression = bytes.Be16(at);
  if (!compression) return std::nullopt;
  at += 2;
  const std::uint64_t rows = std::uint64_t{*channels} * *height;
  if (*compression == 0) {
    const std::uint64_t rowBytes = (std::uint64_t{*width} * *depth + 7) / 8;
    const auto end = CheckedAdd64(at, rows * rowBytes);
    return end && *end <= limit ? end : std::nullopt;
  }
  if (*compression != 1 || rows > kMaxTiffPieces * 16u) return std::nullopt;  // zip: unknown
  // Run-length rows: a table of each row's packed length, then the rows.
  const std::uint64_t entryBytes = large ? 4 : 2;
  std::uint64_t packed = 0;
  for (std::uint64_t row = 0; row < rows; ++row) {
    const auto length =
        large ? bytes.Be32(at + row * 4) : std::optional<std::uint32_t>(bytes.Be16(at + row * 2));
    if (!length) return std::nullopt;
    packed += *length;
  }
  const std::uint64_t end = at + rows * entryBytes + packed;
  return end <= limit ? std::optional(end) : std::nullopt;
}

std::optional<std::uint64_t> MxfEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  constexpr std::uint32_t kKeyPrefix = 0x060E2B34;
  std::uint64_t at = 0;
  std::uint64_t packets = 0;
  while (true) {
    if (bytes.Be32(at) != kKeyPrefix) break;
    // Another file's header partition pack.
    if (at != 0 && bytes.Be32(at + 4) == 0x02050101 && bytes.Be32(at + 8) == 0x0D010201 &&
        bytes.At(at + 12) == 0x01 && bytes.At(at + 13) == 0x02) {
      break;
    }
    const auto first = bytes.At(at + 16);
    if (!first) break;
    std::uint64_t length = *first;
    std::uint64_t lengthBytes = 1;
    if (*first >= 0x80) {
      const std::uint32_t count = *first & 0x7Fu;
      if (count == 0 || count > 8) break;
      length = 0;
      for (std::uint32_t i = 0; i < count; ++i) {
        const auto byte = bytes.At(at + 17 + i);
        if (!byte) return std::nullopt;
        length = (length << 8) | *byte;
      }
      lengthBytes += count;
    }
    const auto next = CheckedAdd64(at + 16 + lengthBytes, length);
    if (!next || *next > limit) return std::nullopt;
    at = *next;
    ++packets;
  }
  return packets > 1 ? std::optional(at) : std::nullopt;
}

std::optional<std::uint64_t> SqliteEnd(CarveContext& context, std::uint64_t limit) {
  FileBytes bytes(context, limit);
  const auto pageField = bytes.Be16(16);
  const auto pages = bytes.Be32(28);
  const auto changes = bytes.Be32(24);
  const auto validFor = bytes.Be32(92);
  if (!pageField || !pages || !changes || !validFor) return std::nullopt;
  const std::uint64_t pageBytes = *pageField == 1 ? 65536u : *pageField;
  // The page count is kept only by writers that also record the change it was valid for.
  if (*pages == 0 || *changes != *validFor || pageBytes < 512 ||
      (pageBytes & (pageBytes - 1)) != 0) {
    return std::nullopt;
  }
  const std::uint64_t size = pageBytes * *pages;
  return size <= limit ? std::optional(size) : std::nullopt;
}

}  // namespace keldrive
