#pragma once

#include <string>
#include <string_view>

namespace keldrive {

// Checked conversions between the UTF-8 names used inside the program and the UTF-16 of
// Windows paths kept in files. Both refuse malformed input (overlong or truncated UTF-8
// sequences, encoded surrogates, values above U+10FFFF, unpaired UTF-16 surrogates)
// instead of guessing, so a name never changes on its way through.
bool Utf8ToUtf16(std::string_view text, std::u16string& out);
bool Utf16ToUtf8(std::u16string_view text, std::string& out);

}  // namespace keldrive
