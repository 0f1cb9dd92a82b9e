#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/scan_history_entry.h"
#include "carve/carve_context.h"
#include "carve/file_type_recovery.h"
#include "disk/sector_run.h"
#include "engine/recovery_engine.h"
#include "engine/scan_environment.h"
#include "fat/professional_fat_recovery.h"
#include "ntfs/professional_ntfs_recovery.h"

namespace keldrive {

// The engine of formatted and deep recovery. It runs the quick engine of the area's file
// system first (its findings are part of the result, and its map of used clusters keeps
// the rest of the scan to free space), then walks the area once and hands every sector to
// the specialist that fits it: NTFS file records to the NTFS professional scan, FAT folder
// sectors to the FAT professional scan, everything else to signature carving. Browsing,
// preview and recovery of a record go to the engine that found it (its sourceEngine).
//
// A walk stopped part-way leaves a resume point; a later scan of the same area in the same
// scan folder goes on from there.
class CProfessionalRecovery final : public IFileRecoveryParse {
 public:
  explicit CProfessionalRecovery(ScanEnvironment environment);
  ~CProfessionalRecovery() override;

  ResultCode AttachImageFile(const std::string& path, char16_t driveLetter) override;
  ResultCode AttachDiskPartition(std::uint32_t diskNumber, std::uint64_t firstSector,
                                 std::uint64_t sectorCount, char16_t driveLetter) override;
  ResultCode AttachDevice(SectorDevice device, std::uint64_t firstSector, std::uint64_t sectorCount,
                          char16_t driveLetter, std::uint32_t deviceSectorBytes) override;

  // Before Scan: walk every sector of the area, used or not, as for a damaged file system.
  void SetWholeArea(bool whole) { whole_ = whole; }
  // Before Scan: go on with the earlier scan whose logs lie in the current scan folder,
  // from where it stopped.
  void SetResumePoint(const ScanResumePoint& point);
  // Where the walk got to: what a later scan goes on from.
  const ScanResumePoint& ResumePoint() const { return position_; }
  // Told of the walk's position every so often while it runs, so that a crash loses little.
  void SetCheckpoint(std::function<void(const ScanResumePoint&)> checkpoint) {
    checkpoint_ = std::move(checkpoint);
  }
  // Sectors the walk could not read, passed over.
  std::uint64_t UnreadableSectors() const { return unreadable_; }
  // The bytes the walk reads at a time; 64 KiB at the least.
  void SetReadBytes(std::uint32_t bytes);

  // Scans; with a log name, loads the logs the earlier scan left in the current folder.
  ResultCode Scan(std::string_view logName) override;
  std::string LogName() const override;
  std::vector<std::string> LogNames() const override;

  ResultCode SetProgressCallbacks(ScanProgressCallback scanProgress,
                                  RecoverProgressCallback recoverProgress, void* context,
                                  std::int32_t weight) override;
  ResultCode SetListProgressCallback(ListProgressCallback callback, void* context) override;
  ResultCode ListFolder(const FoundFile* folder, std::int32_t depth,
                        std::vector<FoundFile>& out) override;
  ResultCode CountFolderFiles(const FoundFile* folder, std::int32_t depth,
                              std::int32_t& count) override;
  std::uint64_t GetFoundCount() override;
  ResultCode GetParentPath(const FoundFile& record, std::string& out) override;
  ResultCode RecoverItem(const FoundFile& record, const std::string& targetPath,
                         std::int32_t depthOffset) override;
  std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) override;
  std::int32_t ListFilesByType(const std::string& patterns, std::vector<FoundFile>& out) override;
  std::int32_t VisitFilesByType(const std::string& patterns,
                                const std::function<void(const FoundFile&)>& visit) override;
  ResultCode BuildUsedClusterMap() override;
  ResultCode ExtractForPreview(const FoundFile& record, std::string& tempPath,
                               std::span<std::uint8_t> buffer, std::uint32_t& size,
                               ListProgressCallback progress, void* context) override;

  // Answered by the engine that found the record, as recovery is.
  ByteRunsAnswer ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) override;
  ResultCode ReadFileData(
      const FoundFile& record,
      const std::function<ResultCode(std::span<const std::uint8_t>)>& sink) override;
  FileTimes TimesOf(const FoundFile& record) override;

  IFileRecoveryParse* QuickEngine() { return quick_.get(); }
  CFileTypeRecovery& Carver() { return carver_; }

 private:
  // The engine that answers for records of `sourceEngine`; null for none.
  IFileRecoveryParse* EngineFor(std::uint32_t sourceEngine);
  std::vector<IFileRecoveryParse*> Engines();
  ResultCode LoadLogs();
  ResultCode StartLogs();
  ResultCode Walk();
  ResultCode WalkExtent(const SectorRun& extent, std::uint64_t offset);
  ResultCode ReadChunk(std::uint64_t sector, std::uint32_t count, std::uint32_t& readable);
  // Hands the buffer's sectors to the specialists. `next` is where the walk goes on,
  // counted from the buffer's first sector: past its end when the last file found runs on,
  // at the sector being judged when the user stopped.
  ResultCode Dispatch(std::span<const std::uint8_t> bytes, std::uint64_t firstSector,
                      std::uint64_t& next);
  ResultCode Report();
  std::vector<SectorRun> Extents();
  // Where the data of a file a file-system engine found begins on the medium.
  std::optional<std::uint64_t> FirstDataSector(const FoundFile& file);

  ScanEnvironment environment_;
  SectorDevice medium_;
  bool attached_ = false;
  std::uint64_t firstSector_ = 0;  // the area, in the walk's sectors
  std::uint64_t sectorCount_ = 0;
  std::uint32_t sectorBytes_ = 512;  // the walk's sector size
  char16_t driveLetter_ = 0;

  std::unique_ptr<IFileRecoveryParse> quick_;
  CProfessionalFatRecovery fat_;
  CProfessionalNtfsRecovery ntfs_;
  CFileTypeRecovery carver_;
  CarveContext carveContext_;

  bool whole_ = false;
  bool resuming_ = false;
  bool freeSpaceMode_ = false;
  ScanResumePoint position_;
  std::function<void(const ScanResumePoint&)> checkpoint_;
  std::uint64_t unreadable_ = 0;
  std::uint32_t readBytes_ = 1024 * 1024;

  ScanProgressCallback scanProgress_ = nullptr;
  RecoverProgressCallback recoverProgress_ = nullptr;
  void* progressContext_ = nullptr;
  ListProgressCallback listProgress_ = nullptr;
  void* listContext_ = nullptr;

  // Walk state.
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t> record_;
  std::uint64_t total_ = 0;
  std::uint64_t walkStartMs_ = 0;
  std::uint64_t lastEstimateMs_ = 0;
  std::uint64_t lastCheckpointMs_ = 0;
  std::int32_t remaining_ = -1;
};

}  // namespace keldrive
