#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "ntfs/file_record.h"
#include "ntfs/parse_status.h"

namespace keldrive {

namespace attribute_type {
inline constexpr std::uint32_t kStandardInformation = 0x10;
inline constexpr std::uint32_t kAttributeList = 0x20;
inline constexpr std::uint32_t kFileName = 0x30;
inline constexpr std::uint32_t kData = 0x80;
inline constexpr std::uint32_t kIndexAllocation = 0xA0;
inline constexpr std::uint32_t kEnd = 0xFFFFFFFF;
}  // namespace attribute_type

// Header sizes: the common part, and the whole header of each kind.
inline constexpr std::size_t kAttributeCommonHeaderBytes = 0x10;
inline constexpr std::size_t kResidentHeaderBytes = 0x18;
inline constexpr std::size_t kNonResidentHeaderBytes = 0x40;

// An attribute header: the common part, then the resident or the non-resident part.
struct AttributeHeader {
  std::uint32_t type = 0;           // 0x00
  std::uint32_t length = 0;         // 0x04: the whole attribute
  bool nonResident = false;         // 0x08
  std::uint8_t nameLength = 0;      // 0x09, in UTF-16 characters; 0 = unnamed
  std::uint16_t nameOffset = 0;     // 0x0A
  std::uint32_t valueLength = 0;    // 0x10, resident
  std::uint16_t valueOffset = 0;    // 0x14, resident
  std::uint64_t lowestVcn = 0;      // 0x10, non-resident: first cluster of the file it maps
  std::uint64_t highestVcn = 0;     // 0x18, non-resident: last cluster it maps
  std::uint16_t runListOffset = 0;  // 0x20, non-resident
  std::uint64_t allocatedSize = 0;  // 0x28, non-resident
  std::uint64_t realSize = 0;       // 0x30, non-resident
};

// One attribute of a record: its header and exactly its `length` bytes.
struct Attribute {
  AttributeHeader header;
  std::span<const std::uint8_t> bytes;
  std::size_t offset = 0;  // within the record
};

// Decodes the header at the start of `bytes`, which must hold the whole attribute:
// kNotThisStructure for the end marker, kDamaged when the bytes or the recorded length
// are shorter than the header of the attribute's kind, or the length runs past the bytes.
ParseStatus ParseAttributeHeader(std::span<const std::uint8_t> bytes, AttributeHeader& out);

// The value of a resident attribute: `valueLength` bytes at `valueOffset`. Empty, with
// kDamaged, when the value does not lie inside the attribute; kNotThisStructure for a
// non-resident attribute.
ParseStatus ResidentValue(const Attribute& attribute, std::span<const std::uint8_t>& value);

// The attribute's name; false when it does not lie inside the attribute.
bool AttributeName(const Attribute& attribute, std::u16string& name);

// Which attributes end a walk besides the end marker and a zero length. The scans stop
// also at type 0 and at types from 0xFDFDFDFD on, which are fill patterns, not attributes.
enum class WalkStops {
  kEndMarker,
  kScanTime,
};

// Walks the attributes of a record image from `firstOffset` up to `end`, which callers take
// from AttributeAreaEnd. Each step yields a whole attribute that lies before `end`; an
// attribute shorter than its header or running past `end` ends the walk as damaged.
// Every step advances by at least a header, so the walk always ends.
class AttributeWalk {
 public:
  AttributeWalk(std::span<const std::uint8_t> record, std::size_t firstOffset, std::size_t end,
                WalkStops stops = WalkStops::kEndMarker);

  // The walk of a record whose header is known.
  static AttributeWalk OfRecord(std::span<const std::uint8_t> record,
                                const FileRecordHeader& header, std::uint32_t recordSize,
                                WalkStops stops = WalkStops::kEndMarker);

  // The next attribute; false at the end of the walk.
  bool Next(Attribute& out);

  // Whether the walk ended on a bound that failed rather than on an end mark.
  bool damaged() const { return damaged_; }

 private:
  bool Stop(bool damaged);

  std::span<const std::uint8_t> area_;  // the record up to the walk's end
  std::size_t position_;
  WalkStops stops_;
  bool done_ = false;
  bool damaged_ = false;
};

}  // namespace keldrive
