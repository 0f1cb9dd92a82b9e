#include "ntfs/volume_geometry.h"

#include <algorithm>

#include "disk/checked_math.h"

namespace keldrive {
namespace {

bool HasOwnRecordLayout(std::uint32_t bytesPerSector) {
  return bytesPerSector == 1024 || bytesPerSector == 2048 || bytesPerSector == 4096;
}

}  // namespace

bool MakeNtfsGeometry(const NtfsBootSector& boot, std::uint64_t partitionStart,
                      std::uint64_t sectorCount, char16_t driveLetter, NtfsGeometry& out) {
  NtfsGeometry g;
  g.partitionStart = partitionStart;
  g.sectorCount = sectorCount;
  g.driveLetter = driveLetter;
  g.bytesPerSector = boot.bytesPerSector != 0 ? boot.bytesPerSector : 512;
  g.sectorsPerCluster = boot.sectorsPerCluster;
  if (HasOwnRecordLayout(g.bytesPerSector)) {
    g.sectorsPerRecord = 1;
    g.recordSize = g.bytesPerSector;
  } else {
    g.sectorsPerRecord = 2;
    g.recordSize = 1024;
  }
  g.chunkSize = g.recordSize * kRecordsPerChunk;
  const auto mftOffset = CheckedMul64(boot.mftCluster, g.sectorsPerCluster);
  const auto mftStart = mftOffset ? CheckedAdd64(partitionStart, *mftOffset) : std::nullopt;
  if (!mftStart) return false;
  g.mftStartSector = *mftStart;
  out = g;
  return true;
}

std::uint32_t RecordReadSectors(const NtfsGeometry& geometry) {
  if (geometry.bytesPerSector == 0) return 1;
  return std::max<std::uint32_t>(1, kRecordReadBytes / geometry.bytesPerSector);
}

bool ClusterToSector(const NtfsGeometry& geometry, std::int64_t cluster, std::uint64_t& sector) {
  if (cluster < 0) return false;
  const auto offset = CheckedMul64(static_cast<std::uint64_t>(cluster), geometry.sectorsPerCluster);
  const auto absolute = offset ? CheckedAdd64(geometry.partitionStart, *offset) : std::nullopt;
  if (!absolute) return false;
  sector = *absolute;
  return true;
}

}  // namespace keldrive
