#include "ntfs/mft_map.h"

#include "disk/checked_math.h"

namespace keldrive {

std::uint64_t RecordNumberToSector(const NtfsGeometry& geometry, std::span<const DataRun> mftRuns,
                                   std::uint64_t recordNumber) {
  const auto wanted = CheckedMul64(recordNumber, geometry.sectorsPerRecord);
  if (!wanted) return geometry.partitionStart;
  std::uint64_t runStart = 0;  // sectors into the MFT
  std::int64_t cluster = 0;
  for (const DataRun& run : mftRuns) {
    if (!AddClusterDelta(cluster, run.clusterDelta)) break;
    const std::uint64_t runSectors = std::uint64_t{run.clusterCount} * geometry.sectorsPerCluster;
    const auto runEnd = CheckedAdd64(runStart, runSectors);
    if (!runEnd) break;
    if (*wanted < *runEnd) {
      std::uint64_t first = 0;
      if (!ClusterToSector(geometry, cluster, first)) break;
      return CheckedAdd64(first, *wanted - runStart).value_or(geometry.partitionStart);
    }
    runStart = *runEnd;
  }
  return geometry.partitionStart;
}

}  // namespace keldrive
