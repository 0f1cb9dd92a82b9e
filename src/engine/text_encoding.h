#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace keldrive {

// Text read from a medium becomes UTF-8, the form of every name inside the core. Invalid
// input never stops these conversions: a lone surrogate becomes U+FFFD. (Paths the
// program writes itself use the checked conversions of app/utf16.h instead.)

// UTF-16 code units as stored by FAT long names and NTFS, up to the first 0x0000 (or
// 0xFFFF, the padding of a FAT long name) or the end.
std::string Utf16ToUtf8Lossy(std::span<const char16_t> text);

// Little-endian UTF-16 bytes, as above.
std::string Utf16LeBytesToUtf8Lossy(std::span<const std::uint8_t> bytes);

// Bytes of a FAT short name in code page 437, the OEM code page FAT volumes are made with.
std::string Cp437ToUtf8(std::span<const std::uint8_t> bytes);

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace keldrive
