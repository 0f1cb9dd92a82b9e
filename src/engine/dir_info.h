#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace keldrive {

inline constexpr std::size_t kDirInfoEntryBytes = 268;

// The name of one folder of a scan, as the folder-names file stores it.
struct DirInfoEntry {
  std::uint32_t firstCluster = 0;  // NTFS: the folder's record number
  std::uint32_t recordNumber = 0;  // of the folder's own found-file record
  std::array<char, 260> name{};    // UTF-8, NUL-terminated

  std::string_view Name() const;
  void SetName(std::string_view text);  // cut at a character boundary to fit
};

void SerializeDirInfoEntry(const DirInfoEntry& entry,
                           std::span<std::uint8_t, kDirInfoEntryBytes> out);
// A name without a terminator is cut at byte 259.
DirInfoEntry ParseDirInfoEntry(std::span<const std::uint8_t, kDirInfoEntryBytes> bytes);

}  // namespace keldrive
