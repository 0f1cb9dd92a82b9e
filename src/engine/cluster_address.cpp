#include "engine/cluster_address.h"

#include "disk/checked_math.h"

namespace keldrive {

std::optional<std::uint64_t> ClusterToSector(const ClusterLayout& layout, std::uint32_t cluster) {
  if (layout.bytesPerSector == 0 || layout.clusterBytes == 0 || cluster == 1) return std::nullopt;
  const auto dataStart = CheckedAdd64(layout.volumeStartSector, layout.dataAreaSector);
  if (!dataStart) return std::nullopt;
  if (cluster == 0) {
    if (*dataStart < kFixedRootSectors) return std::nullopt;
    return *dataStart - kFixedRootSectors;
  }
  const std::uint64_t sectorsPerCluster = layout.clusterBytes / layout.bytesPerSector;
  const auto offset = CheckedMul64(cluster - 2u, sectorsPerCluster);
  if (!offset) return std::nullopt;
  return CheckedAdd64(*dataStart, *offset);
}

}  // namespace keldrive
