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
#include "engine/file_output.h"
#include "engine/recovery_engine.h"
#include "engine/scan_environment.h"
#include "engine/scan_log.h"
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
class CFastFatRecovery : public IFileRecoveryParse {
 public:
  explicit CFastFatRecovery(ScanEnvironment environment);
  ~CFastFatRecovery() override;

  ResultCode AttachImageFile(const std::string& path, char16_t driveLetter) override;
  ResultCode AttachDiskPartition(std::uint32_t diskNumber, std::uint64_t firstSector,
                                 std::uint64_t sectorCount, char16_t driveLetter) override;
  // Attaches to a medium already open (tests, fuzzing, images held in memory), whose
  // sectors, and `firstSector` and `sectorCount`, are of `deviceSectorBytes`.
  ResultCode AttachDevice(SectorDevice device, std::uint64_t firstSector, std::uint64_t sectorCount,
                          char16_t driveLetter, std::uint32_t deviceSectorBytes = 512);

  ResultCode SetProgressCallbacks(ScanProgressCallback scanProgress,
                                  RecoverProgressCallback recoverProgress, void* context,
                                  std::int32_t weight) override;
  ResultCode Scan(std::string_view logName) override;
  ResultCode ListFolder(const FoundFile* folder, std::int32_t depth,
                        std::vector<FoundFile>& out) override;
  ResultCode CountFolderFiles(const FoundFile* folder, std::int32_t depth,
                              std::int32_t& count) override;
  std::uint64_t GetFoundCount() override;
  ResultCode GetParentPath(const FoundFile& record, std::string& out) override;
  ResultCode RecoverItem(const FoundFile& record, const std::string& targetPath,
                         std::int32_t depthOffset) override;
  std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) override;
  ResultCode SetListProgressCallback(ListProgressCallback callback, void* context) override;
  std::int32_t ListFilesByType(const std::string& patterns, std::vector<FoundFile>& out) override;
  ResultCode BuildUsedClusterMap() override;
  ResultCode ExtractForPreview(const FoundFile& record, std::string& tempPath,
                               std::span<std::uint8_t> buffer, std::uint32_t& size,
                               ListProgressCallback progress, void* context) override;

  bool IsAttached() const { return attached_; }
  const FatGeometry& Geometry() const { return geometry_; }
  // The name of the log of the last scan.
  const std::string& LogName() const { return logName_; }
  ScanLog* Log() { return log_.get(); }

 private:
  ResultCode ReadBootRegion(std::uint32_t deviceSectorBytes);
  ResultCode Report(std::int32_t step, std::int32_t remaining);
  void WalkFolder(std::uint32_t firstCluster);
  std::optional<std::uint32_t> NextDeletedFolderCluster(std::uint32_t cluster);
  std::uint32_t FolderDepth(std::uint32_t cluster);
  std::uint32_t SearchHighWord(std::uint16_t low, bool folder, std::string_view extension,
                               std::uint32_t parentCluster);
  std::uint32_t ContentOk(const FoundFile& record);
  void MarkFoldersToRecord(std::uint32_t cluster);
  void RecordFolders();
  std::optional<std::uint64_t> ClusterSector(std::uint32_t cluster) const;
  // The reader of a found file's data, for writing it out or previewing it.
  CopyFileData DataOf(const FoundFile& record);
  ResultCode ReadSector(std::uint64_t sector, std::vector<std::uint8_t>& out);

  ScanEnvironment environment_;
  bool attached_ = false;
  bool bootValid_ = false;
  SectorDevice device_;
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
  std::unique_ptr<ScanLog> log_;
  std::string logName_;

  ScanProgressCallback scanProgress_ = nullptr;
  RecoverProgressCallback recoverProgress_ = nullptr;
  void* progressContext_ = nullptr;
  std::int32_t weight_ = 100;
  ListProgressCallback listProgress_ = nullptr;
  void* listContext_ = nullptr;
};

}  // namespace keldrive
