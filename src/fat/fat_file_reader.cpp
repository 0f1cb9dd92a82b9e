#include "fat/fat_file_reader.h"

#include <algorithm>
#include <vector>

#include "engine/cluster_address.h"
#include "engine/unreadable_data.h"

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
  std::vector<std::uint32_t> unreadable;
  bool damaged = false;
  while (remaining > 0) {
    // Data never lies in cluster 0 or 1: a chain that leads there is gone.
    const auto sector = current >= 2 ? ClusterToSector(layout, current) : std::nullopt;
    if (!sector) return report(100, result::kReadFault);
    std::int32_t got = 0;
    const ResultCode rc = ReadSectors(device, cluster, *sector, sectorsPerCluster,
                                      static_cast<std::int32_t>(bytesPerSector), got, unreadable);
    if (rc != result::kSuccess && rc != result::kReadFault) return report(100, rc);
    // Unreadable sectors are zeros in the file, reported with where they lie in it.
    const std::uint64_t offset = total - remaining;
    for (const std::uint32_t bad : unreadable) {
      const std::uint64_t at = offset + std::uint64_t{bad} * bytesPerSector;
      if (at < total)
        ReportUnreadableStretch(at, std::min<std::uint64_t>(bytesPerSector, total - at));
    }
    if (!unreadable.empty() &&
        offset + unreadable.front() * std::uint64_t{bytesPerSector} < total) {
      damaged = true;
    }
    const std::uint64_t piece = std::min<std::uint64_t>(remaining, record.clusterBytes);
    result = sink(std::span(cluster).first(static_cast<std::size_t>(piece)));
    if (result == result::kSuccess) remaining -= piece;
    result = report(static_cast<std::int32_t>((total - remaining) * 100 / total), result);
    if (result != result::kSuccess) return result;
    if (remaining == 0) break;

    if (table != nullptr) {
      auto next = table->NextCluster(current);
      // A deleted file whose free clusters run into one in use most likely goes on in the
      // next free cluster: files are written into the first free clusters the table has.
      std::uint32_t entry = 1;
      if (!next && table->Entry(current, entry) == result::kSuccess && entry == 0) {
        next = table->NextFreeCluster(current);
      }
      if (!next) return report(100, result::kReadFault);
      current = *next;
    } else {
      ++current;
    }
  }
  if (result == result::kSuccess && damaged) result = report(100, result::kDataError);
  return result;
}

}  // namespace keldrive
