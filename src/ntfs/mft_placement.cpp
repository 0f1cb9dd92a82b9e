#include "ntfs/mft_placement.h"

#include <cstdint>

#include "disk/checked_math.h"

namespace keldrive {
namespace {

// Sectors of a run: a count of 0 stands for a run without end.
std::optional<std::uint64_t> RunSectors(const DataRun& run, std::uint32_t sectorsPerCluster) {
  if (run.clusterCount == 0) return std::nullopt;
  return std::uint64_t{run.clusterCount} * sectorsPerCluster;
}

// The first sector of the run whose cluster is `cluster`.
std::optional<std::uint64_t> RunStart(const MftLayout& mft, std::int64_t cluster) {
  if (cluster < 0) return std::nullopt;
  const auto offset = CheckedMul64(static_cast<std::uint64_t>(cluster), mft.sectorsPerCluster);
  return offset ? CheckedAdd64(mft.volumeStart, *offset) : std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> MapRecordSector(const MftLayout& mft, std::uint64_t number,
                                             std::uint32_t sectorsPerRecord) {
  const auto wanted = CheckedMul64(number, sectorsPerRecord);
  if (!wanted) return std::nullopt;
  std::uint64_t runStart = 0;  // sectors into the MFT
  std::int64_t cluster = 0;
  for (const DataRun& run : mft.runs) {
    if (!AddClusterDelta(cluster, run.clusterDelta)) return std::nullopt;
    const auto sectors = RunSectors(run, mft.sectorsPerCluster);
    if (!sectors || *wanted - runStart < *sectors) {
      const auto first = RunStart(mft, cluster);
      return first ? CheckedAdd64(*first, *wanted - runStart) : std::nullopt;
    }
    const auto end = CheckedAdd64(runStart, *sectors);
    if (!end) return std::nullopt;
    runStart = *end;
  }
  return std::nullopt;
}

std::optional<std::uint64_t> RecordNumberAt(const MftLayout& mft, std::uint64_t sector,
                                            std::uint32_t sectorsPerRecord) {
  if (sectorsPerRecord == 0) return std::nullopt;
  std::uint64_t runStart = 0;
  std::int64_t cluster = 0;
  for (const DataRun& run : mft.runs) {
    if (!AddClusterDelta(cluster, run.clusterDelta)) return std::nullopt;
    const auto first = RunStart(mft, cluster);
    const auto sectors = RunSectors(run, mft.sectorsPerCluster);
    if (first && sector >= *first && (!sectors || sector - *first < *sectors)) {
      const std::uint64_t offset = runStart + (sector - *first);
      if (offset % sectorsPerRecord != 0) return std::nullopt;
      return offset / sectorsPerRecord;
    }
    if (!sectors) return std::nullopt;
    const auto end = CheckedAdd64(runStart, *sectors);
    if (!end) return std::nullopt;
    runStart = *end;
  }
  return std::nullopt;
}

std::optional<MftLayout> LayoutOfEntry(std::uint64_t key, const MftTableEntry& entry) {
  if (entry.runs.empty() || entry.sectorsPerCluster == 0) return std::nullopt;
  const std::int64_t firstCluster = entry.runs.front().clusterDelta;
  if (firstCluster < 0) return std::nullopt;
  const auto before =
      CheckedMul64(static_cast<std::uint64_t>(firstCluster), entry.sectorsPerCluster);
  if (!before || *before > key) return std::nullopt;
  return MftLayout{key - *before, entry.sectorsPerCluster, entry.runs};
}

MftLayout PlaceRecord(const MftRunTable& table, std::uint64_t number, std::uint64_t sector,
                      std::uint32_t sectorsPerRecord, std::uint64_t partitionStart) {
  for (const auto& [key, entry] : table) {
    const auto mft = LayoutOfEntry(key, entry);
    if (mft && MapRecordSector(*mft, number, sectorsPerRecord) == sector) return *mft;
  }
  MftLayout assumed;
  assumed.volumeStart = partitionStart;
  const auto offset = CheckedMul64(number, sectorsPerRecord);
  if (offset && sector >= partitionStart && sector - partitionStart >= *offset &&
      sector - partitionStart - *offset <= static_cast<std::uint64_t>(INT64_MAX)) {
    assumed.runs.push_back({0, 0, static_cast<std::int64_t>(sector - partitionStart - *offset)});
  }
  return assumed;
}

}  // namespace keldrive
