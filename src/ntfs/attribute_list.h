#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disk/sector_device.h"
#include "ntfs/attribute.h"
#include "ntfs/parse_status.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// The fixed part of an attribute-list entry; the attribute's name follows it.
inline constexpr std::size_t kAttributeListEntryHeaderBytes = 0x1A;

// One entry of an attribute list: where one attribute (or one extent of a long one) of a
// file lives, when the file needs more than one record.
struct AttributeListEntry {
  std::uint32_t type = 0;          // 0x00
  std::uint16_t length = 0;        // 0x04: the whole entry
  std::uint64_t startingVcn = 0;   // 0x08: first cluster of the file this extent maps
  std::uint64_t recordNumber = 0;  // 0x10: 48-bit number of the record holding it
  std::u16string name;             // length at 0x06 in characters, offset at 0x07
};

// Decodes the entry at the start of `bytes`: kNotThisStructure for type 0 or 0xFFFFFFFF
// (the end of the list), kDamaged when the entry is shorter than its fixed part, runs past
// the bytes, or its name runs past the entry.
ParseStatus ParseAttributeListEntry(std::span<const std::uint8_t> bytes, AttributeListEntry& out);

// Walks the entries of an attribute list's value. An entry of length 0, or any damaged
// entry, ends the walk; every step advances by at least the fixed part.
class AttributeListWalk {
 public:
  explicit AttributeListWalk(std::span<const std::uint8_t> list) : list_(list) {}

  bool Next(AttributeListEntry& out);
  bool damaged() const { return damaged_; }

 private:
  std::span<const std::uint8_t> list_;
  std::size_t position_ = 0;
  bool done_ = false;
  bool damaged_ = false;
};

// An attribute list is at most this long; a longer one is read this far.
inline constexpr std::size_t kMaxAttributeListBytes = 256 * 1024;

// The value of an attribute list: the resident value, or the runs of a non-resident one
// read up to its real size and at most kMaxAttributeListBytes. Returns 0, 87 for a
// resident value outside its attribute, or a read's error.
ResultCode ReadAttributeListValue(SectorDevice& device, const NtfsGeometry& geometry,
                                  const Attribute& list, std::vector<std::uint8_t>& bytes);

}  // namespace keldrive
