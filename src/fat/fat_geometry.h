#pragma once

#include <cstdint>
#include <span>

namespace keldrive {

enum class FatKind { kFat12, kFat16, kFat32 };

// Where a FAT volume keeps its tables, its root folder and its clusters, from the boot
// sector. Sectors are counted from the volume start.
struct FatGeometry {
  FatKind kind = FatKind::kFat16;
  std::uint32_t bytesPerSector = 512;
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t reservedSectors = 0;
  std::uint32_t fatCount = 0;
  std::uint32_t sectorsPerFat = 0;
  std::uint64_t totalSectors = 0;
  std::uint32_t rootCluster = 0;     // FAT32; 0 (the fixed root area) otherwise
  std::uint32_t rootDirSectors = 0;  // FAT12/16: the fixed root area
  std::uint64_t dataAreaSector = 0;  // where cluster 2 begins
  std::uint32_t clusterCount = 0;    // data clusters, numbered from 2

  std::uint64_t FatStartSector() const { return reservedSectors; }
  std::uint64_t RootDirSector() const { return dataAreaSector - rootDirSectors; }
  std::uint32_t ClusterBytes() const { return sectorsPerCluster * bytesPerSector; }
  bool IsFat32() const { return kind == FatKind::kFat32; }
  // The highest cluster number a table entry may name.
  std::uint32_t LastCluster() const { return clusterCount + 1; }
};

// Reads the geometry from the boot sector. A volume whose boot sector says "FAT32   " at
// 0x52 uses the FAT32 layout; any other uses the fixed root area, with 12-bit table
// entries when it has fewer than 4085 clusters and 16-bit ones otherwise. False when the
// fields cannot describe a volume (no sector or cluster size, no table, a data area
// beyond the total).
bool ParseFatGeometry(std::span<const std::uint8_t> bootSector, FatGeometry& out);

}  // namespace keldrive
