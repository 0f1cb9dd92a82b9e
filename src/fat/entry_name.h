#pragma once

#include <string>

#include "fat/dir_entry.h"

namespace keldrive {

namespace fat_case {
inline constexpr std::uint8_t kLowerBase = 0x08;
inline constexpr std::uint8_t kLowerExtension = 0x10;
}  // namespace fat_case

// The 8.3 name of a short entry as Windows shows it: as stored (upper case), except the
// base or the extension that the case bits at offset 12 mark as lower case. A deleted
// entry's lost first letter is shown as "!".
std::string ShortEntryName(const DirEntry& entry);

}  // namespace keldrive
