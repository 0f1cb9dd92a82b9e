#include "disk/file_system_detection.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

// Boot-sector fields shared by FAT and NTFS (BIOS parameter block).
constexpr std::size_t kOemName = 3;             // 8 bytes: "NTFS    ", "-FVE-FS-", ...
constexpr std::size_t kBytesPerSector = 11;     // u16
constexpr std::size_t kSectorsPerCluster = 13;  // u8
constexpr std::size_t kReservedSectors = 14;    // u16
constexpr std::size_t kFatCount = 16;           // u8
constexpr std::size_t kRootEntryCount = 17;     // u16
constexpr std::size_t kTotalSectors16 = 19;     // u16
constexpr std::size_t kSectorsPerFat16 = 22;    // u16
constexpr std::size_t kTotalSectors32 = 32;     // u32
constexpr std::size_t kSectorsPerFat32 = 36;    // u32, FAT32 only
constexpr std::size_t kNtfsTotalSectors = 40;   // u64, NTFS only
constexpr std::size_t kFat32TypeText = 82;      // 8 bytes: "FAT32   "
constexpr std::size_t kBitLockerMarker = 480;   // 30 bytes on BitLocker To Go volumes
constexpr std::size_t kSignature = 510;         // 0x55 0xAA

// Largest cluster count a FAT can address (28-bit entries less the reserved values).
constexpr std::uint32_t kMaxFatClusters = 0x0FFFFFEF;

// Superblock fields of ext2/3/4, offsets within the superblock.
constexpr std::size_t kExtInodesCount = 0;      // u32
constexpr std::size_t kExtBlocksCount = 4;      // u32
constexpr std::size_t kExtFirstDataBlock = 20;  // u32
constexpr std::size_t kExtLogBlockSize = 24;    // u32: block size is 1024 << this
constexpr std::size_t kExtBlocksPerGroup = 32;  // u32
constexpr std::size_t kExtInodesPerGroup = 40;  // u32
constexpr std::size_t kExtMagic = 56;           // u16
constexpr std::size_t kExtFirstInode = 84;      // u32: first non-reserved inode
constexpr std::uint16_t kExtMagicValue = 0xEF53;

bool TextAt(ByteReader r, std::size_t offset, std::string_view text) {
  const auto bytes = r.at(offset, text.size()).bytes(text.size());
  return bytes.size() == text.size() && std::equal(bytes.begin(), bytes.end(), text.begin());
}

bool HasBootSignature(ByteReader r) {
  return r.u8At(kSignature) == 0x55 && r.u8At(kSignature + 1) == 0xAA && r.ok();
}

bool IsPowerOfTwoClusterSize(std::uint8_t sectorsPerCluster) {
  constexpr std::array<std::uint8_t, 8> kAllowed{1, 2, 4, 8, 16, 32, 64, 128};
  return std::find(kAllowed.begin(), kAllowed.end(), sectorsPerCluster) != kAllowed.end();
}

}  // namespace

bool IsNtfsBootSector(std::span<const std::uint8_t> sector) {
  ByteReader r(sector);
  if (!TextAt(r, kOemName, "NTFS    ")) return false;
  // Bytes per sector 0 passes: the NTFS engines then assume 512.
  if ((r.le16At(kBytesPerSector) & 0x1FF) != 0) return false;
  if (r.le16At(kReservedSectors) != 0) return false;
  if (!IsPowerOfTwoClusterSize(r.u8At(kSectorsPerCluster))) return false;
  if (r.le64At(kNtfsTotalSectors) == 0) return false;
  // The FAT fields NTFS leaves at zero; byte 21 (media) and 24..31 (geometry) carry values.
  constexpr std::array<std::size_t, 7> kZeroInNtfs{16, 17, 18, 19, 20, 22, 23};
  for (const std::size_t offset : kZeroInNtfs) {
    if (r.u8At(offset) != 0) return false;
  }
  if (r.le32At(kTotalSectors32) != 0) return false;
  return HasBootSignature(r);
}

bool IsEncryptedVolume(std::span<const std::uint8_t> sector) {
  ByteReader r(sector);
  if (TextAt(r, kOemName, "-FVE-FS-")) return true;
  const auto marker = r.at(kBitLockerMarker, 30).bytes(30);
  if (marker.size() != 30) return false;
  const auto isByte = [](std::uint8_t value) {
    return [value](std::uint8_t b) { return b == value; };
  };
  return std::all_of(marker.begin(), marker.begin() + 8, isByte(0x78)) &&
         std::all_of(marker.begin() + 8, marker.begin() + 27, isByte(0xFF)) && marker[27] == 0x00 &&
         marker[28] == 0x1F && marker[29] == 0x2C;
}

bool IsFat12Or16BootSector(std::span<const std::uint8_t> sector) {
  ByteReader r(sector);
  return r.u8At(kFatCount) != 0 &&
         (r.le16At(kTotalSectors16) != 0 || r.le32At(kTotalSectors32) != 0) &&
         IsPowerOfTwoClusterSize(r.u8At(kSectorsPerCluster)) && r.le16At(kSectorsPerFat16) >= 1 &&
         HasBootSignature(r);
}

bool IsFat32BootSector(std::span<const std::uint8_t> sector) {
  ByteReader r(sector);
  return TextAt(r, kFat32TypeText, "FAT32   ") && r.u8At(kFatCount) != 0 &&
         r.le32At(kTotalSectors32) != 0 && IsPowerOfTwoClusterSize(r.u8At(kSectorsPerCluster)) &&
         r.le32At(kSectorsPerFat32) != 0 && HasBootSignature(r);
}

bool IsFatBootSector(std::span<const std::uint8_t> sector) {
  if (IsEncryptedVolume(sector)) return false;
  ByteReader r(sector);
  const std::uint16_t sectorsPerFat16 = r.le16At(kSectorsPerFat16);
  const std::uint32_t sectorsPerFat =
      sectorsPerFat16 != 0 ? sectorsPerFat16 : r.le32At(kSectorsPerFat32);
  const std::uint32_t totalSectors32 = r.le32At(kTotalSectors32);
  const std::uint32_t totalSectors =
      totalSectors32 != 0 ? totalSectors32 : r.le16At(kTotalSectors16);
  const std::uint32_t bytesPerSector = r.le16At(kBytesPerSector);
  const std::uint32_t sectorsPerCluster = r.u8At(kSectorsPerCluster);
  const std::uint32_t fatCount = r.u8At(kFatCount);
  const std::uint32_t reservedSectors = r.le16At(kReservedSectors);
  const std::uint32_t rootEntryCount = r.le16At(kRootEntryCount);
  if (!r.ok()) return false;
  // Both divisors below are checked here first.
  if (bytesPerSector == 0 || sectorsPerCluster == 0 || bytesPerSector % 512 != 0) return false;

  // 32-bit arithmetic as FAT drivers use it: a FAT region larger than the volume wraps
  // round, and with small clusters the wrapped count lies beyond the limit below.
  const std::uint32_t rootDirSectors = rootEntryCount * 32 / bytesPerSector;
  const std::uint32_t dataClusters =
      (totalSectors - rootDirSectors - fatCount * sectorsPerFat - reservedSectors) /
      sectorsPerCluster;
  if (dataClusters > kMaxFatClusters) return false;
  return IsFat12Or16BootSector(sector) || IsFat32BootSector(sector);
}

bool IsExtSuperblock(std::span<const std::uint8_t> superblock) {
  ByteReader r(superblock);
  const std::uint32_t inodes = r.le32At(kExtInodesCount);
  const std::uint32_t blocks = r.le32At(kExtBlocksCount);
  const std::uint32_t firstDataBlock = r.le32At(kExtFirstDataBlock);
  const std::uint32_t logBlockSize = r.le32At(kExtLogBlockSize);
  const std::uint32_t blocksPerGroup = r.le32At(kExtBlocksPerGroup);
  const std::uint32_t inodesPerGroup = r.le32At(kExtInodesPerGroup);
  const std::uint16_t magic = r.le16At(kExtMagic);
  const std::uint32_t firstInode = r.le32At(kExtFirstInode);
  if (!r.ok() || magic != kExtMagicValue) return false;
  if (blocks == 0 || inodes == 0 || blocksPerGroup == 0 || inodesPerGroup == 0) return false;
  if (firstInode <= 2) return false;
  // Counting block groups by blocks and by inodes must agree.
  if ((blocks - firstDataBlock - 1) / blocksPerGroup != (inodes - 1) / inodesPerGroup) return false;
  // Only 1 KiB blocks leave block 0 to the boot area. The shift is not computed: its count
  // comes from the medium, and 1024 << n is 1024 only for n = 0.
  const bool oneKiBBlocks = logBlockSize == 0;
  if (firstDataBlock != (oneKiBBlocks ? 1u : 0u)) return false;
  return inodes > firstInode;
}

FileSystemKind ClassifyFileSystem(std::span<const std::uint8_t> volumeStart) {
  if (IsNtfsBootSector(volumeStart)) return FileSystemKind::kNtfs;
  if (IsFatBootSector(volumeStart)) return FileSystemKind::kFat;
  if (volumeStart.size() > kExtSuperblockOffset &&
      IsExtSuperblock(volumeStart.subspan(kExtSuperblockOffset))) {
    return FileSystemKind::kExt;
  }
  return FileSystemKind::kOther;
}

}  // namespace keldrive
