#include "fat/fat_geometry.h"

#include <algorithm>
#include <string_view>

#include "disk/byte_reader.h"

namespace keldrive {
namespace {

// Boot sector fields.
constexpr std::size_t kBytesPerSector = 0x0B;     // u16
constexpr std::size_t kSectorsPerCluster = 0x0D;  // u8
constexpr std::size_t kReservedSectors = 0x0E;    // u16
constexpr std::size_t kFatCount = 0x10;           // u8
constexpr std::size_t kRootEntries = 0x11;        // u16, FAT12/16
constexpr std::size_t kTotalSectors16 = 0x13;     // u16
constexpr std::size_t kSectorsPerFat16 = 0x16;    // u16
constexpr std::size_t kTotalSectors32 = 0x20;     // u32
constexpr std::size_t kSectorsPerFat32 = 0x24;    // u32
constexpr std::size_t kRootCluster = 0x2C;        // u32
constexpr std::size_t kFat32TypeText = 0x52;      // 8 bytes

constexpr std::uint32_t kMaxFat12Clusters = 4084;

}  // namespace

bool ParseFatGeometry(std::span<const std::uint8_t> bootSector, FatGeometry& out) {
  ByteReader r(bootSector);
  FatGeometry g;
  g.bytesPerSector = r.le16At(kBytesPerSector);
  g.sectorsPerCluster = r.u8At(kSectorsPerCluster);
  g.reservedSectors = r.le16At(kReservedSectors);
  g.fatCount = r.u8At(kFatCount);
  const std::uint32_t rootEntries = r.le16At(kRootEntries);
  const std::uint32_t total32 = r.le32At(kTotalSectors32);
  g.totalSectors = total32 != 0 ? total32 : r.le16At(kTotalSectors16);
  const auto typeText = r.at(kFat32TypeText, 8).bytes(8);
  if (!r.ok() || typeText.size() != 8) return false;
  const bool fat32 =
      std::string_view(reinterpret_cast<const char*>(typeText.data()), 8) == "FAT32   ";

  if (g.bytesPerSector == 0 || g.bytesPerSector % 512 != 0 || g.sectorsPerCluster == 0 ||
      g.fatCount == 0) {
    return false;
  }
  if (fat32) {
    g.kind = FatKind::kFat32;
    g.sectorsPerFat = r.le32At(kSectorsPerFat32);
    g.rootCluster = r.le32At(kRootCluster);
  } else {
    g.sectorsPerFat = r.le16At(kSectorsPerFat16);
    // The fixed root area holds the number of entries the boot sector gives.
    g.rootDirSectors = (rootEntries * 32 + g.bytesPerSector - 1) / g.bytesPerSector;
  }
  if (g.sectorsPerFat == 0) return false;
  g.dataAreaSector = static_cast<std::uint64_t>(g.reservedSectors) +
                     static_cast<std::uint64_t>(g.fatCount) * g.sectorsPerFat + g.rootDirSectors;
  if (g.totalSectors <= g.dataAreaSector) return false;
  const std::uint64_t clusters = (g.totalSectors - g.dataAreaSector) / g.sectorsPerCluster;
  // A table cannot name more clusters than it has entries for.
  const std::uint64_t entryBits = fat32 ? 32 : 16;
  const std::uint64_t tableEntries =
      static_cast<std::uint64_t>(g.sectorsPerFat) * g.bytesPerSector * 8 / entryBits;
  g.clusterCount = static_cast<std::uint32_t>(
      std::min<std::uint64_t>({clusters, tableEntries > 2 ? tableEntries - 2 : 0, 0x0FFFFFF5}));
  if (!fat32) g.kind = clusters <= kMaxFat12Clusters ? FatKind::kFat12 : FatKind::kFat16;
  if (g.kind == FatKind::kFat12) {
    g.clusterCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        clusters, static_cast<std::uint64_t>(g.sectorsPerFat) * g.bytesPerSector * 2 / 3 - 2));
  }
  out = g;
  return true;
}

}  // namespace keldrive
