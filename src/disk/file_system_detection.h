#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace keldrive {

// Which file system a medium starts with, as far as choosing a recovery engine goes.
enum class FileSystemKind {
  kNtfs,
  kFat,  // FAT12, FAT16 or FAT32
  kExt,
  kOther,
};

// How much of a medium is read to classify it, and where an ext superblock lies in it.
inline constexpr std::size_t kClassifyBytes = 16384;
inline constexpr std::size_t kExtSuperblockOffset = 1024;

// Tests on a 512-byte boot sector. Each is pure, and a buffer too short for the fields it
// looks at fails the test.
bool IsNtfsBootSector(std::span<const std::uint8_t> sector);
bool IsEncryptedVolume(std::span<const std::uint8_t> sector);
bool IsFatBootSector(std::span<const std::uint8_t> sector);
bool IsFat32BootSector(std::span<const std::uint8_t> sector);
bool IsFat12Or16BootSector(std::span<const std::uint8_t> sector);

// Test on the bytes of an ext2/3/4 superblock (found 1024 bytes into the volume).
bool IsExtSuperblock(std::span<const std::uint8_t> superblock);

// Classifies the first bytes of a volume (normally kClassifyBytes of them): NTFS first,
// then FAT, then ext, else other.
FileSystemKind ClassifyFileSystem(std::span<const std::uint8_t> volumeStart);

}  // namespace keldrive
