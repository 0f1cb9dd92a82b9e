#pragma once

#include <cstdint>
#include <optional>

namespace keldrive {

// Where a FAT volume keeps its clusters, as a found record describes it.
struct ClusterLayout {
  std::uint64_t volumeStartSector = 0;  // first sector of the volume on the medium
  std::uint64_t dataAreaSector = 0;     // sector of cluster 2, relative to the volume start
  std::uint32_t clusterBytes = 0;
  std::uint32_t bytesPerSector = 512;
};

// Sectors of the fixed root-directory area of FAT12/16, which ends where cluster 2 begins.
inline constexpr std::uint64_t kFixedRootSectors = 32;

// The absolute sector where cluster `cluster` begins. Cluster 0 stands for the fixed
// FAT12/16 root-directory area. Nothing for cluster 1, a layout without a cluster or
// sector size, or an address that does not fit in 64 bits.
std::optional<std::uint64_t> ClusterToSector(const ClusterLayout& layout, std::uint32_t cluster);

}  // namespace keldrive
