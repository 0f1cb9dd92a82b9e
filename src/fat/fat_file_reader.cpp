#include "fat/fat_file_reader.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/cluster_address.h"
#include "engine/unreadable_data.h"

namespace keldrive {
namespace {

// The most read, and handed on, at once.
constexpr std::uint32_t kRunBytes = 4u << 20;

}  // namespace

ResultCode CopyFatFileData(SectorDevice& device, FatTable* table, std::uint32_t bytesPerSector,
                           const FoundFile& record, std::uint64_t limit, const DataSink& sink,
                           const PieceReport& report, const ClusterStep& step) {
  if (record.clusterBytes > kMaxClusterBytes) return result::kWriteFault;
  const std::uint64_t total = std::min(record.size, limit);
  if (total == 0) return report(100, result::kSuccess);
  if (bytesPerSector == 0 || record.clusterBytes < bytesPerSector ||
      record.clusterBytes % bytesPerSector != 0) {
    return result::kInvalidParameter;
  }
  const ClusterLayout layout{record.volumeStartSector, record.dataAreaSector, record.clusterBytes,
                             bytesPerSector};
  const std::uint32_t sectorsPerCluster = record.clusterBytes / bytesPerSector;

  const auto next = [&](std::uint32_t cluster) -> std::optional<std::uint32_t> {
    if (table == nullptr && step) return step(cluster);
    return NextFileCluster(table, cluster);
  };

  // Clusters that follow one another on the medium are read, and handed on, together.
  const std::uint32_t runClusters = std::max<std::uint32_t>(1, kRunBytes / record.clusterBytes);
  const std::uint64_t totalClusters = (total + record.clusterBytes - 1) / record.clusterBytes;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(
      std::min<std::uint64_t>(runClusters, totalClusters) * record.clusterBytes));
  std::uint64_t remaining = total;
  std::optional<std::uint32_t> current = record.startCluster;
  ResultCode result = result::kSuccess;
  std::vector<std::uint32_t> unreadable;
  bool damaged = false;
  while (remaining > 0) {
    // Data never lies in cluster 0 or 1: a chain that leads there is gone.
    const auto sector = current && *current >= 2 ? ClusterToSector(layout, *current) : std::nullopt;
    if (!sector) return report(100, result::kReadFault);
    const std::uint64_t wanted = std::min<std::uint64_t>(
        runClusters, (remaining + record.clusterBytes - 1) / record.clusterBytes);
    std::uint32_t run = 1;
    std::uint32_t last = *current;
    std::optional<std::optional<std::uint32_t>> after;  // the cluster after the run, once known
    while (run < wanted) {
      const auto following = next(last);
      if (!following || *following != last + 1) {
        after = following;
        break;
      }
      last = *following;
      ++run;
    }
    std::int32_t got = 0;
    ResultCode rc = ReadSectors(device, buffer, *sector,
                                static_cast<std::int32_t>(run * sectorsPerCluster),
                                static_cast<std::int32_t>(bytesPerSector), got, unreadable);
    if (rc == result::kInvalidParameter && run > 1) {
      // A run reaching past the medium: its first cluster alone, the rest in the next round.
      run = 1;
      last = *current;
      after.reset();
      rc = ReadSectors(device, buffer, *sector, static_cast<std::int32_t>(sectorsPerCluster),
                       static_cast<std::int32_t>(bytesPerSector), got, unreadable);
    }
    if (rc != result::kSuccess && rc != result::kReadFault) return report(100, rc);
    // Unreadable sectors are zeros in the file, reported with where they lie in it.
    const std::uint64_t offset = total - remaining;
    for (const std::uint32_t bad : unreadable) {
      const std::uint64_t at = offset + std::uint64_t{bad} * bytesPerSector;
      if (at < total) {
        ReportUnreadableStretch(at, std::min<std::uint64_t>(bytesPerSector, total - at));
      }
    }
    if (!unreadable.empty() &&
        offset + unreadable.front() * std::uint64_t{bytesPerSector} < total) {
      damaged = true;
    }
    const std::uint64_t piece =
        std::min<std::uint64_t>(remaining, std::uint64_t{run} * record.clusterBytes);
    result = sink(std::span(buffer).first(static_cast<std::size_t>(piece)));
    if (result == result::kSuccess) remaining -= piece;
    result = report(static_cast<std::int32_t>((total - remaining) * 100 / total), result);
    if (result != result::kSuccess) return result;
    if (remaining == 0) break;
    current = after ? *after : next(last);
    if (!current) return report(100, result::kReadFault);
  }
  if (result == result::kSuccess && damaged) result = report(100, result::kDataError);
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
                           std::vector<ByteRun>& runs, const ClusterStep& step) {
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
    const auto next =
        table == nullptr && step ? step(current) : NextFileCluster(table, current);
    if (!next) return ByteRunsAnswer::kUnknown;
    current = *next;
  }
  return ByteRunsAnswer::kKnown;
}

}  // namespace keldrive
