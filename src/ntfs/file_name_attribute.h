#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "engine/file_time.h"
#include "ntfs/attribute.h"
#include "ntfs/parse_status.h"

namespace keldrive {

// The value of a file name attribute starts at this offset of the attribute, where a
// resident header always ends; the value-offset field is not consulted.
inline constexpr std::size_t kFileNameValueOffset = 0x18;
// The value's fixed part, before the name characters.
inline constexpr std::size_t kFileNameFixedBytes = 0x42;

namespace file_name_namespace {
inline constexpr std::uint8_t kPosix = 0;
inline constexpr std::uint8_t kWin32 = 1;
inline constexpr std::uint8_t kDos = 2;
inline constexpr std::uint8_t kWin32AndDos = 3;
}  // namespace file_name_namespace

// The fields of a file name value the engines use. All times of a found file come from
// here; the standard-information attribute is not read.
struct FileNameAttribute {
  std::uint32_t parentRecord = 0;  // 0x00: low 32 bits of the parent reference
  FileTime created = 0;            // 0x08
  FileTime modified = 0;           // 0x10
  FileTime accessed = 0;           // 0x20
  std::uint64_t realSize = 0;      // 0x30
  std::uint8_t nameNamespace = 0;  // 0x41
  std::u16string name;             // 0x42: 0x40 characters, UTF-16, not terminated
};

// Decodes a file name value (from its first byte): kDamaged when the fixed part or the
// name runs past the bytes.
ParseStatus ParseFileNameValue(std::span<const std::uint8_t> value, FileNameAttribute& out);

// Decodes the file name attribute of a record: kNotThisStructure for another type,
// kDamaged for a non-resident one or one whose value runs past the attribute.
ParseStatus ParseFileNameAttribute(const Attribute& attribute, FileNameAttribute& out);

}  // namespace keldrive
