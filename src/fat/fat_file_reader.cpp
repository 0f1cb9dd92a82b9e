#include "fat/fat_file_reader.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/cluster_address.h"

namespace keldrive {

ResultCode CopyFatFileData(SectorDevice& device, FatTable* table, std::uint32_t bytesPerSector,
                           const FoundFile& record, std::uint64_t limit, const DataSink& sink,
                           const PieceReport& report) {
  if (record.clusterBytes > kMaxClusterBytes) return result::kWriteFault;
  const std::uint64_t total = std::min(record.size, limit);
  if (total == 0) return report(100, result::kSuccess);
  if (bytesPerSector == 0 || record.clusterBytes < bytesPerSector ||
      record.clusterBytes % bytesPerSector != 0) {
    return result::kInvalidParameter;
  }
  const ClusterLayout layout{record.volumeStartSector, record.dataAreaSector, record.clusterBytes,
                             bytesPerSector};
  const auto sectorsPerCluster = static_cast<std::int32_t>(record.clusterBytes / bytesPerSector);

  std::vector<std::uint8_t> cluster(record.clusterBytes);
  std::uint64_t remaining = total;
  std::uint32_t current = record.startCluster;
  ResultCode result = result::kSuccess;
  while (remaining > 0) {
    // Data never lies in cluster 0 or 1: a chain that leads there is gone.
    const auto sector = current >= 2 ? ClusterToSector(layout, current) : std::nullopt;
    if (!sector) return report(100, result::kReadFault);
    std::int32_t got = 0;
    const ResultCode rc = ReadSectors(device, cluster, *sector, sectorsPerCluster,
                                      static_cast<std::int32_t>(bytesPerSector), got);
    if (got <= 0) return report(100, rc != result::kSuccess ? rc : result::kReadFault);
    const std::uint64_t piece =
        std::min<std::uint64_t>(remaining, static_cast<std::uint64_t>(got) * bytesPerSector);
    result = sink(std::span(cluster).first(static_cast<std::size_t>(piece)));
    if (result == result::kSuccess) remaining -= piece;
    if (result == result::kSuccess && rc != result::kSuccess) result = rc;
    result = report(static_cast<std::int32_t>((total - remaining) * 100 / total), result);
    if (result != result::kSuccess) return result;
    if (remaining == 0) break;

    const auto next = NextFileCluster(table, current);
    if (!next) return report(100, result::kReadFault);
    current = *next;
  }
  return result;
}

std::optional<std::uint32_t> NextFileCluster(FatTable* table, std::uint32_t cluster) {
  if (table == nullptr) return cluster + 1;
  auto next = table->NextCluster(cluster);
  // A deleted file whose free clusters run into one in use most likely goes on in the
  // next free cluster: files are written into the first free clusters the table has.
  std::uint32_t entry = 1;
  if (!next && table->Entry(cluster, entry) == result::kSuccess && entry == 0) {
    next = table->NextFreeCluster(cluster);
  }
  return next;
}

ByteRunsAnswer FatByteRuns(FatTable* table, std::uint32_t bytesPerSector, const FoundFile& record,
                           std::vector<ByteRun>& runs) {
  runs.clear();
  if (record.size == 0) return ByteRunsAnswer::kKnown;
  if (record.clusterBytes > kMaxClusterBytes || bytesPerSector == 0 ||
      record.clusterBytes < bytesPerSector || record.clusterBytes % bytesPerSector != 0) {
    return ByteRunsAnswer::kUnknown;
  }
  const ClusterLayout layout{record.volumeStartSector, record.dataAreaSector, record.clusterBytes,
                             bytesPerSector};
  std::uint64_t done = 0;
  std::uint32_t current = record.startCluster;
  // A chain never holds more clusters than the file needs, so this ends.
  while (done < record.size) {
    const auto sector = current >= 2 ? ClusterToSector(layout, current) : std::nullopt;
    if (!sector || *sector > UINT64_MAX / bytesPerSector) return ByteRunsAnswer::kUnknown;
    const std::uint64_t piece = std::min<std::uint64_t>(record.size - done, record.clusterBytes);
    AppendByteRun(runs, {done, *sector * bytesPerSector, piece, false});
    done += piece;
    if (done == record.size) break;
    const auto next = NextFileCluster(table, current);
    if (!next) return ByteRunsAnswer::kUnknown;
    current = *next;
  }
  return ByteRunsAnswer::kKnown;
}

}  // namespace keldrive
