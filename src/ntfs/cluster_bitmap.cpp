#include "ntfs/cluster_bitmap.h"

#include <algorithm>

#include "disk/checked_math.h"
#include "ntfs/attribute.h"
#include "ntfs/attribute_runs.h"
#include "ntfs/mft_map.h"
#include "ntfs/record_reader.h"

namespace keldrive {
namespace {

constexpr std::uint64_t kBitmapRecord = 6;

// The real size of the record's first data attribute, when it is non-resident.
bool BitmapRealSize(SectorDevice& device, const NtfsGeometry& geometry, std::uint64_t sector,
                    std::uint64_t& size) {
  std::vector<std::uint8_t> block;
  FileRecordHeader header;
  if (ReadFileRecord(device, geometry, sector, block, header) != result::kSuccess) return false;
  AttributeWalk walk = AttributeWalk::OfRecord(block, header, geometry.recordSize);
  Attribute attribute;
  while (walk.Next(attribute)) {
    if (attribute.header.type != attribute_type::kData) continue;
    if (!attribute.header.nonResident) return false;
    size = attribute.header.realSize;
    return true;
  }
  return false;
}

}  // namespace

ResultCode NtfsClusterBitmap::Load(SectorDevice& device, const NtfsGeometry& geometry,
                                   std::span<const DataRun> mftRuns) {
  bits_.clear();
  if (geometry.sectorsPerCluster == 0) return result::kInvalidParameter;
  const std::uint64_t sector = RecordNumberToSector(geometry, mftRuns, kBitmapRecord);
  std::vector<DataRun> runs;
  if (const ResultCode rc =
          ReadAttributeRuns(device, geometry, mftRuns, sector, attribute_type::kData, runs);
      rc != result::kSuccess) {
    return rc;
  }
  std::uint64_t realSize = 0;
  if (!BitmapRealSize(device, geometry, sector, realSize)) return result::kInvalidParameter;

  // Never more than the runs hold, nor than one bit per cluster of the volume.
  const std::uint64_t clusterBytes = geometry.ClusterBytes();
  std::uint64_t allocated = 0;
  for (const DataRun& run : runs) {
    allocated = CheckedAdd64(allocated, std::uint64_t{run.clusterCount} * clusterBytes)
                    .value_or(UINT64_MAX);
  }
  const std::uint64_t volumeClusters = geometry.sectorCount / geometry.sectorsPerCluster;
  const std::uint64_t length = std::min({realSize, allocated, (volumeClusters + 7) / 8});
  bits_.assign(static_cast<std::size_t>(length), 0);

  std::uint64_t filled = 0;
  std::int64_t cluster = 0;
  const std::uint32_t bps = geometry.bytesPerSector;
  for (const DataRun& run : runs) {
    if (filled >= length) break;
    if (!AddClusterDelta(cluster, run.clusterDelta)) return result::kReadFault;
    const std::uint64_t bytes =
        std::min(std::uint64_t{run.clusterCount} * clusterBytes, length - filled);
    if (run.flags == kRunSparse) {
      filled += bytes;  // a sparse stretch of the bitmap marks its clusters free
      continue;
    }
    std::uint64_t first = 0;
    if (!ClusterToSector(geometry, cluster, first)) return result::kReadFault;
    // Whole sectors are read; the last one may hold more than the bitmap needs.
    std::vector<std::uint8_t> buffer((bytes + bps - 1) / bps * bps);
    std::int32_t got = 0;
    if (const ResultCode rc =
            ReadSectors(device, buffer, first, static_cast<std::int32_t>(buffer.size() / bps),
                        static_cast<std::int32_t>(bps), got);
        rc != result::kSuccess) {
      return rc;
    }
    std::copy_n(buffer.begin(), bytes, bits_.begin() + static_cast<std::ptrdiff_t>(filled));
    filled += bytes;
  }
  return result::kSuccess;
}

void NtfsClusterBitmap::NextFreeExtent(const NtfsGeometry& geometry, std::uint64_t& sector,
                                       std::uint64_t& length) const {
  length = 0;
  const std::uint64_t count = geometry.sectorCount;
  const std::uint64_t spc = geometry.sectorsPerCluster;
  if (sector > count) {
    sector = count;
    return;
  }
  if (spc == 0) return;
  const std::uint64_t clusters = bits_.size() * 8;
  std::uint64_t cluster = sector / spc;
  if (cluster >= clusters) return;
  const std::uint64_t start = cluster;
  // Whole bytes of used clusters are passed over at once.
  while (cluster < clusters && IsUsed(cluster)) {
    if (cluster % 8 == 0 && bits_[static_cast<std::size_t>(cluster / 8)] == 0xFF) {
      cluster += 8;
    } else {
      ++cluster;
    }
  }
  if (cluster >= clusters) return;
  sector += (cluster - start) * spc;
  std::uint64_t end = cluster;
  while (end < clusters && !IsUsed(end)) {
    if (end % 8 == 0 && bits_[static_cast<std::size_t>(end / 8)] == 0x00) {
      end += 8;
    } else {
      ++end;
    }
  }
  end = std::min(end, clusters);
  length = end * spc - sector;  // the run ends with its last free cluster
  if (sector >= count) {
    length = 0;
  } else if (length > count - sector) {
    length = count - sector;
  }
}

}  // namespace keldrive
