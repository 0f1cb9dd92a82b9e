#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "disk/sector_device.h"
#include "engine/log_backed_engine.h"
#include "ntfs/cluster_bitmap.h"
#include "ntfs/data_run.h"
#include "ntfs/file_name_attribute.h"
#include "ntfs/file_record.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// The deleted-file engine for NTFS volumes: reads the live master file table in order,
// records every deleted file, then the folders those files lie in, with "LostFolder%d"
// folders under the root for parents that are gone.
class CFastNtfsRecovery : public LogBackedEngine {
 public:
  // The root folder's record; the records up to 11 are the volume's own files.
  static constexpr std::uint32_t kRootRecord = 5;
  static constexpr std::uint32_t kLastSystemRecord = 11;

  explicit CFastNtfsRecovery(ScanEnvironment environment);

  ResultCode Scan(std::string_view logName) override;
  std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) override;
  ResultCode BuildUsedClusterMap() override;

  ByteRunsAnswer ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) override;
  // The times of the record's standard information, which follow every write of the file;
  // the record's own (its file name's) when they cannot be read.
  FileTimes TimesOf(const FoundFile& record) override;

  const NtfsGeometry& Geometry() const { return geometry_; }
  // Pieces of the MFT that could not be read during the last scan, and were passed over.
  std::uint64_t UnreadableMftPieces() const { return unreadablePieces_; }
  // MFT records passed over because a sector of theirs could not be read.
  std::uint64_t UnreadableMftRecords() const { return unreadableRecords_; }

 protected:
  ResultCode OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount, char16_t driveLetter,
                        std::uint32_t deviceSectorBytes) override;
  std::uint32_t RootFolder() const override { return kRootRecord; }
  CopyFileData DataOf(const FoundFile& record) override;

 private:
  // What the scan needs of a folder record it reads while resolving parents.
  struct FolderFacts {
    bool readable = false;
    bool directory = false;
    std::uint32_t parent = 0;
  };

  void ReadMftRunsFromMirror(const NtfsBootSector& boot);
  void HandleDeletedRecord(std::span<std::uint8_t> record, std::uint32_t number);
  void RecordDeletedFile(std::span<const std::uint8_t> record, const FileRecordHeader& header,
                         std::uint32_t number, std::span<const FileNameAttribute> extraNames);
  void RecordNamesFromExtensions();
  void HandleParentRecord(std::uint32_t number);
  std::uint32_t ResolveParents(std::uint32_t parent);
  const FolderFacts& FactsOf(std::uint32_t number);
  void AddLostFolder(std::uint32_t number);
  void QueueParent(std::uint32_t number);
  FoundFile NewRecord(std::uint32_t number) const;

  NtfsGeometry geometry_;
  std::vector<DataRun> mftRuns_;
  NtfsClusterBitmap bitmap_;

  std::vector<std::uint32_t> parentList_;
  std::unordered_set<std::uint32_t> parentSet_;
  std::unordered_map<std::uint32_t, FolderFacts> folderFacts_;
  // Names found in deleted extension records, by their base record.
  std::map<std::uint32_t, std::vector<FileNameAttribute>> extensionNames_;
  std::unordered_set<std::uint32_t> recordedFiles_;
  std::uint64_t unreadablePieces_ = 0;
  std::uint64_t unreadableRecords_ = 0;
};

}  // namespace keldrive
