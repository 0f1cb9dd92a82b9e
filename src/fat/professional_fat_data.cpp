// Where a found file's data lies: the high word of its first cluster when the entry lost it,
// its own chain where the old FAT survived, and the clusters it is read from.
#include <algorithm>

#include "disk/file_system_detection.h"
#include "engine/file_category.h"
#include "fat/fat_file_reader.h"
#include "fat/fat_table.h"
#include "fat/professional_fat_recovery.h"

namespace keldrive {
namespace {

constexpr std::uint32_t kMaxHighWord = 256;
// Live files passed over after a hole before the search for the next free cluster stops.
constexpr std::uint32_t kMaxSkippedFiles = 4096;

}  // namespace

std::uint32_t CProfessionalFatRecovery::SearchHighWord(std::uint16_t low, bool folder,
                                                       std::string_view extension, int geometry) {
  if (!folder && (extension.empty() || !environment_.contentCheck)) return low;
  std::vector<std::uint8_t> sector;
  for (std::uint32_t high = 0; high <= kMaxHighWord; ++high) {
    const std::uint32_t candidate = high << 16 | low;
    const auto first = ClusterSector(geometry, candidate);
    if (!first || !ReadSector(*first, sector)) break;
    if (sector.size() < 2 * kDirEntryBytes) break;
    if (folder ? sector[0] == '.' && sector[1] == ' ' && sector[32] == '.' && sector[33] == '.'
               : environment_.contentCheck(extension, sector, device_, bytesPerSector_, *first)) {
      return candidate;
    }
  }
  return low;
}

std::uint32_t CProfessionalFatRecovery::ContentOk(const FoundFile& record, int geometry) {
  const std::string extension = ExtensionOf(record.Name());
  if (extension.empty() || !environment_.contentCheck) return 1;
  const auto first =
      record.startCluster >= 2 ? ClusterSector(geometry, record.startCluster) : std::nullopt;
  std::vector<std::uint8_t> sector;
  if (!first || !ReadSector(*first, sector)) return 1;
  return environment_.contentCheck(extension, sector, device_, bytesPerSector_, *first) ? 1 : 0;
}

bool CProfessionalFatRecovery::OwnChain(const FoundFile& record, FatTable& table) {
  if (record.size == 0 || record.startCluster < 2 || record.clusterBytes == 0) return false;
  std::vector<std::uint8_t> boot;
  FatGeometry fat;
  if (!ReadSector(record.volumeStartSector, boot) || !IsFatBootSector(boot) ||
      !ParseFatGeometry(boot, fat) || fat.bytesPerSector != bytesPerSector_ ||
      fat.dataAreaSector != record.dataAreaSector || fat.ClusterBytes() != record.clusterBytes) {
    return false;
  }
  table.Attach(&device_, record.volumeStartSector, fat);
  // The table describes this file only when its chain from the first cluster has exactly
  // the file's length: after a format the new table has nothing there, after new files
  // were written the chain belongs to them.
  const std::uint64_t clusters = (record.size + record.clusterBytes - 1) / record.clusterBytes;
  const std::uint32_t end = fat.IsFat32()                 ? 0x0FFFFFF8u
                            : fat.kind == FatKind::kFat16 ? 0xFFF8u
                                                          : 0xFF8u;
  std::uint32_t cluster = record.startCluster;
  for (std::uint64_t i = 1;; ++i) {
    std::uint32_t entry = 0;
    if (table.Entry(cluster, entry) != result::kSuccess) return false;
    if (i == clusters) return entry >= end;
    if (!table.IsNextClusterValue(entry) || entry == cluster) return false;
    cluster = entry;
  }
}

std::optional<std::uint32_t> CProfessionalFatRecovery::NextFreeOfFound(const FoundFile& record,
                                                                       std::uint32_t cluster) {
  if (!log_) return cluster + 1;
  if (liveExtentsRecords_ != log_->RecordCount()) {
    liveExtents_.clear();
    liveExtentsRecords_ = log_->RecordCount();
    for (std::uint64_t number = 1; number <= liveExtentsRecords_; ++number) {
      FoundFile file;
      if (log_->ReadRecord(number, file) != result::kSuccess) break;
      if (file.isFolder != 0 || file.isDeleted != 0 || file.size == 0 || file.startCluster < 2 ||
          file.clusterBytes == 0) {
        continue;
      }
      liveExtents_[{file.volumeStartSector, file.dataAreaSector, file.clusterBytes}].emplace(
          file.startCluster, (file.size + file.clusterBytes - 1) / file.clusterBytes);
    }
  }
  const auto area =
      liveExtents_.find({record.volumeStartSector, record.dataAreaSector, record.clusterBytes});
  std::uint64_t next = static_cast<std::uint64_t>(cluster) + 1;
  if (area == liveExtents_.end()) return static_cast<std::uint32_t>(next);
  // A file written into a hole goes on after the files that filled the space behind the
  // hole, as a FAT driver hands out the next free cluster.
  for (std::uint32_t skipped = 0; skipped < kMaxSkippedFiles; ++skipped) {
    const auto other = area->second.find(static_cast<std::uint32_t>(next));
    if (other == area->second.end() || other->first <= record.startCluster) break;
    next += other->second;
    if (next > 0x0FFFFFF6) return std::nullopt;
  }
  return static_cast<std::uint32_t>(next);
}

ByteRunsAnswer CProfessionalFatRecovery::ByteRunsOf(const FoundFile& record,
                                                    std::vector<ByteRun>& runs) {
  runs.clear();
  if (record.isFolder != 0) return ByteRunsAnswer::kUnknown;
  // The clusters DataOf reads, in the same order.
  FatTable table;
  const bool chained = OwnChain(record, table);
  return FatByteRuns(chained ? &table : nullptr, bytesPerSector_, record, runs,
                     [&](std::uint32_t cluster) { return NextFreeOfFound(record, cluster); });
}

CopyFileData CProfessionalFatRecovery::DataOf(const FoundFile& record) {
  return [this, &record](std::uint64_t limit, const DataSink& sink, const PieceReport& report) {
    // Where the volume's own table survived and still holds the file's chain, it is
    // followed; otherwise the file's clusters are taken to follow one another, past those
    // of the live files found in between.
    FatTable table;
    const bool chained = OwnChain(record, table);
    return CopyFatFileData(device_, chained ? &table : nullptr, bytesPerSector_, record, limit,
                           sink, report,
                           [&](std::uint32_t cluster) { return NextFreeOfFound(record, cluster); });
  };
}

}  // namespace keldrive
