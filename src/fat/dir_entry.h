#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/file_time.h"

namespace keldrive {

// A FAT directory entry is 32 bytes; a long-name entry carries 13 UTF-16 characters.
inline constexpr std::size_t kDirEntryBytes = 32;
inline constexpr std::size_t kLongNameChars = 13;
inline constexpr std::uint8_t kDeletedMark = 0xE5;

namespace fat_attr {
inline constexpr std::uint8_t kReadOnly = 0x01;
inline constexpr std::uint8_t kHidden = 0x02;
inline constexpr std::uint8_t kSystem = 0x04;
inline constexpr std::uint8_t kVolumeLabel = 0x08;
inline constexpr std::uint8_t kDirectory = 0x10;
inline constexpr std::uint8_t kArchive = 0x20;
inline constexpr std::uint8_t kLongName = 0x0F;
}  // namespace fat_attr

// A 32-byte directory entry as stored.
struct DirEntry {
  std::array<std::uint8_t, 11> name{};  // 8 name bytes, 3 extension bytes, space-padded
  std::uint8_t attributes = 0;          // 11
  std::uint8_t caseFlags = 0;           // 12: 0x08 base, 0x10 extension shown in lower case
  std::uint8_t creationHundredths = 0;  // 13
  std::uint16_t creationTime = 0;       // 14
  std::uint16_t creationDate = 0;       // 16
  std::uint16_t accessDate = 0;         // 18
  std::uint16_t clusterHigh = 0;        // 20
  std::uint16_t writeTime = 0;          // 22
  std::uint16_t writeDate = 0;          // 24
  std::uint16_t clusterLow = 0;         // 26
  std::uint32_t size = 0;               // 28

  bool IsDeleted() const { return name[0] == kDeletedMark; }
  bool IsLongName() const { return attributes == fat_attr::kLongName; }
  bool IsDirectory() const { return (attributes & fat_attr::kDirectory) != 0; }
  bool IsVolumeLabel() const { return attributes == fat_attr::kVolumeLabel; }
  std::uint32_t FirstCluster() const {
    return static_cast<std::uint32_t>(clusterHigh) << 16 | clusterLow;
  }
};

// A long-name entry: one piece of a name, stored before its short entry in reverse order.
struct LongNameEntry {
  std::uint8_t sequence = 0;  // 0: piece number, 0x40 set on the last piece
  std::uint8_t checksum = 0;  // 13: checksum of the short name it belongs to
  std::array<char16_t, kLongNameChars> chars{};
};

// Decodes a directory entry; false when fewer than 32 bytes are given.
bool ParseDirEntry(std::span<const std::uint8_t> bytes, DirEntry& out);
bool ParseLongNameEntry(std::span<const std::uint8_t> bytes, LongNameEntry& out);

// FAT date and time fields as a FILETIME, taken as they are (no time-zone adjustment).
// A date or time that does not exist gives 0. `hundredths` is the creation time's extra
// 0..199 hundredths of a second.
FileTime FatTimeToFileTime(std::uint16_t date, std::uint16_t time, std::uint8_t hundredths = 0);

// The checksum of an 11-byte short name that its long-name entries carry.
std::uint8_t LongNameChecksum(std::span<const std::uint8_t, 11> shortName);

// Whether a 32-byte entry is a believable directory entry. `next` is the entry after it,
// used to recognise the "." and ".." pair; it may be empty at the end of a buffer.
bool IsValidDirEntry(std::span<const std::uint8_t> entry, std::span<const std::uint8_t> next);

// Whether a sector begins a folder: "." and ".." entries, both folders of size 0.
bool IsDotPairSector(std::span<const std::uint8_t> sector);

// Whether a sector holds FAT directory entries and nothing else.
bool IsFatDirectorySector(std::span<const std::uint8_t> sector);

}  // namespace keldrive
