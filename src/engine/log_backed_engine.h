#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/sector_device.h"
#include "engine/file_output.h"
#include "engine/recovery_engine.h"
#include "engine/scan_environment.h"
#include "engine/scan_log.h"

namespace keldrive {

// What every engine that keeps its findings in a scan log does alike: opening the medium,
// keeping the callbacks, answering the browsing operations from the log, and writing files
// out or previewing them through the engine's own reader of a file's data.
class LogBackedEngine : public IFileRecoveryParse {
 public:
  explicit LogBackedEngine(ScanEnvironment environment);
  ~LogBackedEngine() override;

  ResultCode AttachImageFile(const std::string& path, char16_t driveLetter) override;
  ResultCode AttachDiskPartition(std::uint32_t diskNumber, std::uint64_t firstSector,
                                 std::uint64_t sectorCount, char16_t driveLetter) override;
  // Attaches to a medium already open (tests, fuzzing, images held in memory), whose
  // sectors, and `firstSector` and `sectorCount`, are of `deviceSectorBytes`. A second
  // attach does nothing.
  ResultCode AttachDevice(SectorDevice device, std::uint64_t firstSector, std::uint64_t sectorCount,
                          char16_t driveLetter, std::uint32_t deviceSectorBytes = 512) override;
  std::string LogName() const override { return logName_; }

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
  std::int32_t ListFilesByType(const std::string& patterns, std::vector<FoundFile>& out) override;
  std::int32_t VisitFilesByType(const std::string& patterns,
                                const std::function<void(const FoundFile&)>& visit) override;
  ResultCode RecoverItem(const FoundFile& record, const std::string& targetPath,
                         std::int32_t depthOffset) override;
  ResultCode ExtractForPreview(const FoundFile& record, std::string& tempPath,
                               std::span<std::uint8_t> buffer, std::uint32_t& size,
                               ListProgressCallback progress, void* context) override;

  // Reads through the engine's own reader of the file's data (DataOf).
  ResultCode ReadFileData(
      const FoundFile& record,
      const std::function<ResultCode(std::span<const std::uint8_t>)>& sink) override;

  bool IsAttached() const { return attached_; }
  ScanLog* Log() { return log_.get(); }

  // What the engine found wrong with the volume itself (cut short, structures damaged or
  // read from a copy), one sentence each; empty for a sound volume.
  const std::vector<std::string>& DamageNotes() const { return damageNotes_; }

 protected:
  // Reads the volume's own structures once the medium is open; true makes the engine ready.
  virtual ResultCode OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount,
                                char16_t driveLetter, std::uint32_t deviceSectorBytes) = 0;
  // The folder key of the root: its cluster (FAT) or record number (NTFS).
  virtual std::uint32_t RootFolder() const = 0;
  // The engine's reader of a found file's data.
  virtual CopyFileData DataOf(const FoundFile& record) = 0;

  // The answer of an operation on an engine that is not ready: 87 when attaching failed,
  // an invalid handle when there was no attach.
  ResultCode NotReady() const {
    return attached_ ? result::kInvalidParameter : result::kInvalidHandle;
  }
  // A new scan log in the current scan folder: the earlier log `logName` when one is given
  // (`loaded` set), else a new one named with `prefix`.
  ResultCode StartLog(std::string_view logName, std::string_view prefix, std::int64_t firstSector,
                      bool& loaded);
  ResultCode ReportScan(std::int32_t step, std::int32_t remaining, std::uint64_t done,
                        std::uint64_t total);

  void NoteDamage(std::string note) { damageNotes_.push_back(std::move(note)); }

  ScanEnvironment environment_;
  std::vector<std::string> damageNotes_;
  std::string logName_;
  SectorDevice device_;
  bool ready_ = false;
  std::unique_ptr<ScanLog> log_;
  ScanProgressCallback scanProgress_ = nullptr;
  RecoverProgressCallback recoverProgress_ = nullptr;
  void* progressContext_ = nullptr;
  std::int32_t weight_ = 100;
  ListProgressCallback listProgress_ = nullptr;
  void* listContext_ = nullptr;

 private:
  bool attached_ = false;
};

}  // namespace keldrive
