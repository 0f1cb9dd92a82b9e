#include "fat/used_cluster_map.h"

#include <algorithm>

namespace keldrive {

void UsedClusterMap::Build(FatTable& table) {
  // Clusters past the end of the medium have nothing a walk of the free space could read:
  // they are left out rather than looked up one by one (a damaged boot sector can claim
  // 2^28 of them on a medium of a few sectors).
  clusters_ = table.ClustersOnMedium();
  bits_.assign(static_cast<std::size_t>((clusters_ + 63) / 64), 0);
  for (std::uint64_t index = 0; index < clusters_; ++index) {
    const auto cluster = static_cast<std::uint32_t>(index + 2);
    std::uint32_t entry = 0;
    if (table.Entry(cluster, entry) != result::kSuccess || entry == 0) continue;
    Set(index);
    if (table.IsNextClusterValue(entry) && entry - 2u < clusters_) Set(entry - 2u);
  }
}

void UsedClusterMap::NextFreeExtent(const FatGeometry& g, std::uint64_t sectorCount,
                                    std::uint64_t& sector, std::uint64_t& length) const {
  length = 0;
  if (sector > sectorCount) {
    sector = sectorCount;
    return;
  }
  // Sectors before the data area (boot sector, tables, root area) are never free space.
  const std::uint64_t relative = sector > g.dataAreaSector ? sector - g.dataAreaSector : 0;
  std::uint64_t index = relative / g.sectorsPerCluster;
  while (index < clusters_ && IsUsed(index)) ++index;
  if (index >= clusters_) return;  // no free space from here on
  std::uint64_t end = index;
  while (end < clusters_ && !IsUsed(end)) ++end;
  // The run starts at the given sector when that lies inside a free cluster.
  const std::uint64_t start = std::max(sector, g.dataAreaSector + index * g.sectorsPerCluster);
  length = g.dataAreaSector + end * g.sectorsPerCluster - start;
  sector = start;
  if (sector >= sectorCount) {
    length = 0;
  } else if (length > sectorCount - sector) {
    length = sectorCount - sector;
  }
}

}  // namespace keldrive
