#include "engine/log_backed_engine.h"

#include <algorithm>

#include "engine/folder_recovery.h"
#include "engine/found_file_times.h"
#include "engine/scan_log_name.h"
#include "platform/clock.h"

namespace keldrive {

LogBackedEngine::LogBackedEngine(ScanEnvironment environment)
    : environment_(std::move(environment)) {}

LogBackedEngine::~LogBackedEngine() {
  log_.reset();  // flushes the log
  CloseDevice(device_);
}

ResultCode LogBackedEngine::AttachImageFile(const std::string& path, char16_t driveLetter) {
  if (attached_) return result::kSuccess;
  SectorDevice device;
  if (const ResultCode rc = OpenImageFile(path, device); rc != result::kSuccess) return rc;
  const std::uint64_t sectors = device.totalSectors;
  return AttachDevice(std::move(device), 0, sectors, driveLetter);
}

ResultCode LogBackedEngine::AttachDiskPartition(std::uint32_t diskNumber, std::uint64_t firstSector,
                                                std::uint64_t sectorCount, char16_t driveLetter) {
  if (attached_) return result::kSuccess;
  SectorDevice device;
  if (const ResultCode rc = OpenPhysicalDisk(device, static_cast<int>(diskNumber));
      rc != result::kSuccess) {
    return rc;
  }
  platform::DiskGeometry geometry;
  std::uint32_t sectorBytes = 512;
  if (device.handle->QueryGeometry(geometry) == result::kSuccess && geometry.bytesPerSector != 0) {
    sectorBytes = geometry.bytesPerSector;
  }
  return AttachDevice(std::move(device), firstSector, sectorCount, driveLetter, sectorBytes);
}

ResultCode LogBackedEngine::AttachDevice(SectorDevice device, std::uint64_t firstSector,
                                         std::uint64_t sectorCount, char16_t driveLetter,
                                         std::uint32_t deviceSectorBytes) {
  if (attached_) return result::kSuccess;
  device_ = std::move(device);
  attached_ = true;
  const ResultCode rc = OpenVolume(firstSector, sectorCount, driveLetter,
                                   deviceSectorBytes != 0 ? deviceSectorBytes : 512);
  ready_ = rc == result::kSuccess;
  return rc;
}

ResultCode LogBackedEngine::SetProgressCallbacks(ScanProgressCallback scanProgress,
                                                 RecoverProgressCallback recoverProgress,
                                                 void* context, std::int32_t weight) {
  scanProgress_ = scanProgress;
  recoverProgress_ = recoverProgress;
  progressContext_ = context;
  weight_ = weight;
  return result::kSuccess;
}

ResultCode LogBackedEngine::SetListProgressCallback(ListProgressCallback callback, void* context) {
  listProgress_ = callback;
  listContext_ = context;
  if (log_) log_->SetListProgressCallback(callback, context);
  return result::kSuccess;
}

ResultCode LogBackedEngine::StartLog(std::string_view logName, std::string_view prefix,
                                     std::int64_t firstSector, bool& loaded) {
  log_ = std::make_unique<ScanLog>();
  log_->SetListProgressCallback(listProgress_, listContext_);
  const std::string folder =
      environment_.currentScanFolder ? environment_.currentScanFolder() : std::string();
  loaded = !logName.empty();
  logName_ = loaded ? std::string(logName)
                    : MakeScanLogName(prefix, firstSector, platform::LocalTimeNow());
  return log_->Open(folder, logName_);
}

ResultCode LogBackedEngine::ReportScan(std::int32_t step, std::int32_t remaining,
                                       std::uint64_t done, std::uint64_t total) {
  if (scanProgress_ == nullptr) return result::kSuccess;
  return scanProgress_(progressContext_, step, weight_, remaining, done, total,
                       log_ ? log_->RecordCount() : 0, 0);
}

ResultCode LogBackedEngine::ListFolder(const FoundFile* folder, std::int32_t depth,
                                       std::vector<FoundFile>& out) {
  if (folder == nullptr && depth != 0) return result::kInvalidParameter;
  if (!log_ || depth < 0) return folder == nullptr ? result::kSuccess : result::kInvalidParameter;
  const std::uint32_t key = folder != nullptr ? folder->startCluster : RootFolder();
  return log_->ListChildren({key, static_cast<std::uint32_t>(depth)}, out);
}

ResultCode LogBackedEngine::CountFolderFiles(const FoundFile* folder, std::int32_t depth,
                                             std::int32_t& count) {
  count = 0;
  if (folder == nullptr && depth != 0) return result::kInvalidParameter;
  if (!log_ || depth < 0) return result::kSuccess;
  std::uint64_t files = 0;
  const ResultCode rc = log_->CountSubtreeFiles(
      {folder != nullptr ? folder->startCluster : RootFolder(), static_cast<std::uint32_t>(depth)},
      files);
  count = static_cast<std::int32_t>(std::min<std::uint64_t>(files, INT32_MAX));
  return rc;
}

std::uint64_t LogBackedEngine::GetFoundCount() {
  return log_ ? log_->RecordCount() : 0;
}

ResultCode LogBackedEngine::GetParentPath(const FoundFile& record, std::string& out) {
  out.clear();
  if (!log_) return result::kInvalidParameter;
  std::vector<FoundFile> chain;
  log_->BuildParentChain(record, chain);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    out.append(it->Name());
    out.push_back('/');
  }
  return result::kSuccess;
}

std::int32_t LogBackedEngine::ListFilesByType(const std::string& patterns,
                                              std::vector<FoundFile>& out) {
  if (!log_) return 0;
  return log_->SelectByType(patterns, out);
}

std::int32_t LogBackedEngine::VisitFilesByType(const std::string& patterns,
                                               const std::function<void(const FoundFile&)>& visit) {
  if (!log_) return 0;
  return log_->VisitByType(patterns, visit);
}

ResultCode LogBackedEngine::RecoverItem(const FoundFile& record, const std::string& targetPath,
                                        std::int32_t depthOffset) {
  if (!ready_) return NotReady();
  return RecoverFoundItem(
      *this, record, targetPath, depthOffset,
      [this](const FoundFile& file, const std::string& path) {
        const ResultCode rc = WriteFoundFileTo(
            path, file, DataOf(file), [&](std::int32_t percent, ResultCode current) -> ResultCode {
              if (recoverProgress_ == nullptr) return current;
              return recoverProgress_(progressContext_, percent, 100, current, path);
            });
        // The file's own times, on what was written of it too. A file system that cannot
        // take them does not make the copy fail.
        if (rc != result::kCancelled) ApplyFoundFileTimes(path, file, TimesOf(file));
        return rc;
      });
}

ResultCode LogBackedEngine::ExtractForPreview(const FoundFile& record, std::string& tempPath,
                                              std::span<std::uint8_t> buffer, std::uint32_t& size,
                                              ListProgressCallback progress, void* context) {
  if (!ready_) {
    tempPath.clear();
    size = 0;
    return NotReady();
  }
  return ExtractPreview(environment_.previewFolder, record, tempPath, buffer, size, progress,
                        context, DataOf(record));
}

ResultCode LogBackedEngine::ReadFileData(
    const FoundFile& record, const std::function<ResultCode(std::span<const std::uint8_t>)>& sink) {
  if (!ready_) return NotReady();
  if (record.isFolder != 0) return result::kInvalidParameter;
  // Any error ends the read: a file with a hole is never passed off as whole.
  return DataOf(record)(record.size, sink,
                        [](std::int32_t, ResultCode current) { return current; });
}

}  // namespace keldrive
