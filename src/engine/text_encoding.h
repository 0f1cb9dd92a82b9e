#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace keldrive {

// Text read from a medium becomes UTF-8, the form of every name inside the core. Invalid
// input never stops a conversion: a lone surrogate or a bad sequence becomes U+FFFD.

// UTF-16 code units as stored by FAT long names and NTFS, up to the first 0x0000 (or
// 0xFFFF, the padding of a FAT long name) or the end.
std::string Utf16ToUtf8(std::span<const char16_t> text);

// Little-endian UTF-16 bytes, as above.
std::string Utf16LeBytesToUtf8(std::span<const std::uint8_t> bytes);

// UTF-8 to UTF-16 code units; invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// Bytes of a FAT short name in code page 437, the OEM code page FAT volumes are made with.
std::string Cp437ToUtf8(std::span<const std::uint8_t> bytes);

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace keldrive
