#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "disk/sector_device.h"
#include "engine/log_backed_engine.h"
#include "fat/fat_geometry.h"
#include "fat/fat_table.h"
#include "fat/used_cluster_map.h"

namespace keldrive {

// Whether the first sector of a found file's data carries the signature its extension
// promises; unknown extensions are not contradicted.
using ContentCheck = std::function<bool(
    std::string_view extension, std::span<const std::uint8_t> sector, SectorDevice& device,
    std::uint32_t bytesPerSector, std::uint64_t absoluteSector)>;

// The deleted-file engine for FAT volumes: walks the live directory tree from the root,
// following live and deleted folders alike, and records every deleted file, every file
// inside a deleted folder, and the folders that lead to them.
class CFastFatRecovery : public LogBackedEngine {
 public:
  explicit CFastFatRecovery(ScanEnvironment environment);

  ResultCode Scan(std::string_view logName) override;
  std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) override;
  ResultCode BuildUsedClusterMap() override;

  ByteRunsAnswer ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) override;

  const FatGeometry& Geometry() const { return geometry_; }

 protected:
  ResultCode OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount, char16_t driveLetter,
                        std::uint32_t deviceSectorBytes) override;
  std::uint32_t RootFolder() const override {
    return geometry_.IsFat32() ? geometry_.rootCluster : 0;
  }
  CopyFileData DataOf(const FoundFile& record) override;

 private:
  void WalkFolder(std::uint32_t firstCluster);
  // Notes a volume whose boot sector claims more than its medium holds, or a root folder
  // outside the volume.
  void NoteGeometryDamage();
  std::optional<std::uint32_t> NextDeletedFolderCluster(std::uint32_t cluster);
  std::uint32_t FolderDepth(std::uint32_t cluster);
  std::uint32_t SearchHighWord(std::uint16_t low, bool folder, std::string_view extension,
                               std::uint32_t parentCluster, std::uint64_t size);
  // Whether a deleted file of `clusters` clusters can start at `first`: it is free, and so
  // are the clusters a reader would take after it.
  bool RunIsFree(std::uint32_t first, std::uint64_t clusters);
  std::uint32_t ContentOk(const FoundFile& record);
  void MarkFoldersToRecord(std::uint32_t cluster);
  void RecordFolders();
  std::optional<std::uint64_t> ClusterSector(std::uint32_t cluster) const;
  ResultCode ReadSector(std::uint64_t sector, std::vector<std::uint8_t>& out);

  std::uint64_t volumeStart_ = 0;
  std::uint64_t sectorCount_ = 0;
  char16_t driveLetter_ = 0;
  FatGeometry geometry_;
  FatTable table_;
  UsedClusterMap usedMap_;

  // Scan state.
  std::deque<std::uint32_t> folderQueue_;
  std::unordered_set<std::uint32_t> walked_;
  std::map<std::uint32_t, FoundFile> folderMap_;  // by first cluster; recordNumber holds the parent
  std::vector<std::uint32_t> foldersToRecord_;
  std::unordered_set<std::uint32_t> foldersToRecordSet_;
  std::unordered_map<std::uint32_t, std::uint32_t> depthCache_;
};

}  // namespace keldrive
