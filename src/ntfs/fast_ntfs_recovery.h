#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "disk/sector_device.h"
#include "engine/file_output.h"
#include "engine/recovery_engine.h"
#include "engine/scan_environment.h"
#include "engine/scan_log.h"
#include "ntfs/cluster_bitmap.h"
#include "ntfs/data_run.h"
#include "ntfs/file_name_attribute.h"
#include "ntfs/file_record.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// The deleted-file engine for NTFS volumes: reads the live master file table in order,
// records every deleted file, then the folders those files lie in, with "LostFolder%d"
// folders under the root for parents that are gone.
class CFastNtfsRecovery : public IFileRecoveryParse {
 public:
  // The root folder's record; the records up to 11 are the volume's own files.
  static constexpr std::uint32_t kRootRecord = 5;
  static constexpr std::uint32_t kLastSystemRecord = 11;

  explicit CFastNtfsRecovery(ScanEnvironment environment);
  ~CFastNtfsRecovery() override;

  ResultCode AttachImageFile(const std::string& path, char16_t driveLetter) override;
  ResultCode AttachDiskPartition(std::uint32_t diskNumber, std::uint64_t firstSector,
                                 std::uint64_t sectorCount, char16_t driveLetter) override;
  // Attaches to a medium already open, whose sectors (and `firstSector`, `sectorCount`)
  // are of `deviceSectorBytes`.
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
  const NtfsGeometry& Geometry() const { return geometry_; }
  // Pieces of the MFT that could not be read during the last scan, and were passed over.
  std::uint64_t UnreadableMftPieces() const { return unreadablePieces_; }

 private:
  // What the scan needs of a folder record it reads while resolving parents.
  struct FolderFacts {
    bool readable = false;
    bool directory = false;
    std::uint32_t parent = 0;
  };

  void HandleDeletedRecord(std::span<std::uint8_t> record, std::uint32_t number);
  void RecordDeletedFile(std::span<const std::uint8_t> record, const FileRecordHeader& header,
                         std::uint32_t number, std::span<const FileNameAttribute> extraNames);
  void RecordNamesFromExtensions();
  void HandleParentRecord(std::uint32_t number);
  std::uint32_t ResolveParents(std::uint32_t parent);
  const FolderFacts& FactsOf(std::uint32_t number);
  void AddLostFolder(std::uint32_t number);
  void QueueParent(std::uint32_t number);
  ResultCode Report(std::uint64_t done, std::uint64_t total, std::int32_t remaining);
  CopyFileData DataOf(const FoundFile& record);
  FoundFile NewRecord(std::uint32_t number) const;

  ScanEnvironment environment_;
  bool attached_ = false;
  bool bootValid_ = false;
  SectorDevice device_;
  NtfsGeometry geometry_;
  std::vector<DataRun> mftRuns_;
  NtfsClusterBitmap bitmap_;

  std::unique_ptr<ScanLog> log_;
  std::vector<std::uint32_t> parentList_;
  std::unordered_set<std::uint32_t> parentSet_;
  std::unordered_map<std::uint32_t, FolderFacts> folderFacts_;
  // Names found in deleted extension records, by their base record.
  std::map<std::uint32_t, std::vector<FileNameAttribute>> extensionNames_;
  std::unordered_set<std::uint32_t> recordedFiles_;
  std::uint64_t unreadablePieces_ = 0;

  ScanProgressCallback scanProgress_ = nullptr;
  RecoverProgressCallback recoverProgress_ = nullptr;
  void* progressContext_ = nullptr;
  std::int32_t weight_ = 100;
  ListProgressCallback listProgress_ = nullptr;
  void* listContext_ = nullptr;
};

}  // namespace keldrive
