#include "session/professional_recovery.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <unordered_map>

#include "app/scan_history.h"
#include "disk/file_system_detection.h"
#include "engine/file_category.h"
#include "engine/found_file.h"
#include "engine/scan_log_name.h"
#include "fat/dir_entry.h"
#include "fat/fast_fat_recovery.h"
#include "ntfs/fast_ntfs_recovery.h"
#include "platform/clock.h"
#include "session/engine_selection.h"

namespace keldrive {
namespace {

constexpr std::int32_t kQuickWeight = 9;
constexpr std::int32_t kWalkWeight = 90;
constexpr std::uint32_t kMinReadBytes = 64 * 1024;
constexpr std::uint64_t kEstimateIntervalMs = 5000;
constexpr std::uint64_t kCheckpointIntervalMs = 30000;
// A record that straddles the walk's buffer is read again whole, this many bytes.
constexpr std::uint32_t kStraddlingRecordBytes = 8192;

std::string LowerExtension(std::string_view name) {
  return ExtensionOf(name);
}

// Files before folders, then by name ignoring case; stable, as the lists come in engine
// order.
void SortListing(std::vector<FoundFile>& records) {
  std::stable_sort(records.begin(), records.end(), [](const FoundFile& a, const FoundFile& b) {
    if ((a.isFolder != 0) != (b.isFolder != 0)) return a.isFolder == 0;
    const std::string_view x = a.Name(), y = b.Name();
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char c, char d) {
      return std::tolower(static_cast<unsigned char>(c)) <
             std::tolower(static_cast<unsigned char>(d));
    });
  });
}

// The sector size the quick engine counts its free extents in.
std::uint32_t QuickSectorBytes(IFileRecoveryParse* quick) {
  if (auto* fat = dynamic_cast<CFastFatRecovery*>(quick)) return fat->Geometry().bytesPerSector;
  if (auto* ntfs = dynamic_cast<CFastNtfsRecovery*>(quick)) return ntfs->Geometry().bytesPerSector;
  return 0;
}

}  // namespace

CProfessionalRecovery::CProfessionalRecovery(ScanEnvironment environment)
    : environment_(environment), fat_(environment), ntfs_(environment), carver_(environment) {}

CProfessionalRecovery::~CProfessionalRecovery() = default;

ResultCode CProfessionalRecovery::AttachImageFile(const std::string& path, char16_t driveLetter) {
  if (attached_) return result::kSuccess;
  SectorDevice image;
  if (const ResultCode rc = OpenImageFile(path, image); rc != result::kSuccess) return rc;
  const std::uint64_t sectors = image.totalSectors;
  return AttachDevice(std::move(image), 0, sectors, driveLetter, kImageSectorBytes);
}

ResultCode CProfessionalRecovery::AttachDiskPartition(std::uint32_t diskNumber,
                                                      std::uint64_t firstSector,
                                                      std::uint64_t sectorCount,
                                                      char16_t driveLetter) {
  if (attached_) return result::kSuccess;
  SectorDevice disk;
  if (const ResultCode rc = OpenPhysicalDisk(disk, static_cast<int>(diskNumber));
      rc != result::kSuccess) {
    return rc;
  }
  platform::DiskGeometry geometry;
  std::uint32_t sectorBytes = 512;
  if (disk.handle->QueryGeometry(geometry) == result::kSuccess && geometry.bytesPerSector != 0) {
    sectorBytes = geometry.bytesPerSector;
  }
  return AttachDevice(std::move(disk), firstSector, sectorCount, driveLetter, sectorBytes);
}

ResultCode CProfessionalRecovery::AttachDevice(SectorDevice device, std::uint64_t firstSector,
                                               std::uint64_t sectorCount, char16_t driveLetter,
                                               std::uint32_t deviceSectorBytes) {
  if (attached_) return result::kSuccess;
  attached_ = true;
  medium_ = std::move(device);
  if (deviceSectorBytes == 0) deviceSectorBytes = 512;
  driveLetter_ = driveLetter;

  ScanArea area;
  area.sectors = SectorRun::Make(firstSector, sectorCount).value_or(SectorRun{});
  area.source.sectorBytes = deviceSectorBytes;
  area.driveLetter = driveLetter;
  quick_ = SelectEngine(medium_, area, RecoveryMode::kDeleted, environment_);

  // The walk counts in the sectors the quick engine gives its free space in, so that its
  // extents can be walked as they are; without one, in the medium's.
  sectorBytes_ = QuickSectorBytes(quick_.get());
  if (sectorBytes_ == 0 || sectorBytes_ > kMaxCarveSectorBytes) sectorBytes_ = deviceSectorBytes;
  firstSector_ = firstSector * deviceSectorBytes / sectorBytes_;
  sectorCount_ = sectorCount * deviceSectorBytes / sectorBytes_;
  // An area that claims more than its medium holds is walked as far as the medium goes.
  const std::uint64_t mediumSectors = medium_.TotalBytes() / sectorBytes_;
  if (mediumSectors != 0 && firstSector_ < mediumSectors) {
    sectorCount_ = std::min(sectorCount_, mediumSectors - firstSector_);
  }

  fat_.AttachDevice(ShareDevice(medium_), firstSector_, sectorCount_, driveLetter, sectorBytes_);
  carver_.AttachDevice(ShareDevice(medium_), firstSector_, sectorCount_, driveLetter, sectorBytes_);
  return ntfs_.AttachDevice(ShareDevice(medium_), firstSector_, sectorCount_, driveLetter,
                            sectorBytes_);
}

void CProfessionalRecovery::SetResumePoint(const ScanResumePoint& point) {
  resuming_ = true;
  position_ = point;
}

void CProfessionalRecovery::SetReadBytes(std::uint32_t bytes) {
  readBytes_ = std::max(bytes, kMinReadBytes);
}

std::vector<IFileRecoveryParse*> CProfessionalRecovery::Engines() {
  std::vector<IFileRecoveryParse*> engines;
  if (quick_) engines.push_back(quick_.get());
  engines.push_back(&fat_);
  engines.push_back(&ntfs_);
  engines.push_back(&carver_);
  return engines;
}

IFileRecoveryParse* CProfessionalRecovery::EngineFor(std::uint32_t sourceEngine) {
  switch (static_cast<SourceEngine>(sourceEngine)) {
    case SourceEngine::kQuickNtfs:
    case SourceEngine::kQuickFat:
      return quick_.get();
    case SourceEngine::kProfessionalNtfs:
      return &ntfs_;
    case SourceEngine::kProfessionalFat:
      return &fat_;
    case SourceEngine::kCarving:
      return &carver_;
  }
  return nullptr;
}

std::string CProfessionalRecovery::LogName() const {
  return carver_.LogName();
}

std::vector<std::string> CProfessionalRecovery::LogNames() const {
  std::vector<std::string> names;
  if (quick_ && !quick_->LogName().empty()) names.push_back(quick_->LogName());
  for (const LogBackedEngine* engine :
       std::initializer_list<const LogBackedEngine*>{&carver_, &fat_, &ntfs_}) {
    if (!engine->LogName().empty()) names.push_back(engine->LogName());
  }
  return names;
}

ResultCode CProfessionalRecovery::SetProgressCallbacks(ScanProgressCallback scanProgress,
                                                       RecoverProgressCallback recoverProgress,
                                                       void* context, std::int32_t) {
  scanProgress_ = scanProgress;
  recoverProgress_ = recoverProgress;
  progressContext_ = context;
  if (quick_) quick_->SetProgressCallbacks(scanProgress, recoverProgress, context, kQuickWeight);
  for (LogBackedEngine* engine : std::initializer_list<LogBackedEngine*>{&fat_, &ntfs_, &carver_}) {
    engine->SetProgressCallbacks(scanProgress, recoverProgress, context, kWalkWeight);
  }
  carveContext_.progress.callback = scanProgress;
  carveContext_.progress.callbackContext = context;
  carveContext_.progress.weight = kWalkWeight;
  return result::kSuccess;
}

ResultCode CProfessionalRecovery::SetListProgressCallback(ListProgressCallback callback,
                                                          void* context) {
  listProgress_ = callback;
  listContext_ = context;
  for (IFileRecoveryParse* engine : Engines()) engine->SetListProgressCallback(callback, context);
  return result::kSuccess;
}

ResultCode CProfessionalRecovery::LoadLogs() {
  const std::string folder =
      environment_.currentScanFolder ? environment_.currentScanFolder() : std::string();
  std::string name;
  const auto find = [&](std::string_view prefix) {
    ScanHistory::FindFileInFolder(folder, prefix, name);
    return name;
  };
  if (quick_) {
    if (const std::string log = find(kQuickLogPrefix); !log.empty()) quick_->Scan(log);
  }
  if (const std::string log = find(kFileTypeLogPrefix); !log.empty()) {
    if (const ResultCode rc = carver_.ResumeCarveScan(log, static_cast<std::int32_t>(sectorBytes_));
        rc != result::kSuccess) {
      return rc;
    }
  } else if (const ResultCode rc = carver_.BeginCarveScan(); rc != result::kSuccess) {
    return rc;
  }
  if (const ResultCode rc = fat_.BeginFatScan(find(kProfessionalFatLogPrefix));
      rc != result::kSuccess) {
    return rc;
  }
  return ntfs_.CreateLog(find(kProfessionalNtfsLogPrefix));
}

ResultCode CProfessionalRecovery::StartLogs() {
  if (const ResultCode rc = carver_.BeginCarveScan(); rc != result::kSuccess) return rc;
  if (const ResultCode rc = fat_.BeginFatScan(""); rc != result::kSuccess) return rc;
  return ntfs_.CreateLog("");
}

ResultCode CProfessionalRecovery::Scan(std::string_view logName) {
  if (!attached_) return result::kInvalidHandle;
  if (!logName.empty()) return LoadLogs();

  // The quick pass: its findings, and its map of the space in use.
  freeSpaceMode_ = false;
  if (quick_) {
    quick_->SetProgressCallbacks(scanProgress_, nullptr, progressContext_, kQuickWeight);
    freeSpaceMode_ = !whole_ && quick_->BuildUsedClusterMap() == result::kSuccess &&
                     QuickSectorBytes(quick_.get()) != 0;
    std::string fastLog;
    if (resuming_) {
      ScanHistory::FindFileInFolder(
          environment_.currentScanFolder ? environment_.currentScanFolder() : std::string(),
          kQuickLogPrefix, fastLog);
    }
    if (const ResultCode rc = quick_->Scan(fastLog); rc != result::kSuccess) return rc;
  }
  if (const ResultCode rc = resuming_ ? LoadLogs() : StartLogs(); rc != result::kSuccess) {
    return rc;
  }
  fat_.SeedFatGeometry();
  carveContext_.StartScan();

  ResultCode result = Walk();
  // What the walk found is placed and written even when it was stopped.
  const ResultCode finished = fat_.FinishFatScan();
  const ResultCode folders = ntfs_.FolderPass();
  if (result == result::kSuccess) result = finished != result::kSuccess ? finished : folders;
  if (result == result::kSuccess && scanProgress_ != nullptr) {
    result = scanProgress_(progressContext_, 100, 100, 0, total_, total_, GetFoundCount(), 0);
  }
  buffer_.clear();
  buffer_.shrink_to_fit();
  return result;
}

std::vector<SectorRun> CProfessionalRecovery::Extents() {
  std::vector<SectorRun> extents;
  if (!freeSpaceMode_) {
    if (sectorCount_ != 0) extents.push_back(*SectorRun::Make(0, sectorCount_));
    return extents;
  }
  std::uint64_t sector = 0;
  // Bounded: an extent always moves the position on, and there are at most as many extents
  // as clusters.
  for (std::uint64_t guard = 0; guard <= sectorCount_; ++guard) {
    std::uint64_t length = 0;
    quick_->NextFreeExtent(sector, length);
    if (length == 0) break;
    const auto extent = SectorRun::Make(sector, length);
    if (!extent || extent->End() > sectorCount_) break;
    extents.push_back(*extent);
    sector = extent->End();
  }
  return extents;
}

ResultCode CProfessionalRecovery::Walk() {
  const std::vector<SectorRun> extents = Extents();
  total_ = 0;
  for (const SectorRun& extent : extents) total_ += extent.Count();
  buffer_.assign(readBytes_ / sectorBytes_ * sectorBytes_, 0);
  record_.assign(std::max<std::uint32_t>(kStraddlingRecordBytes, sectorBytes_), 0);
  walkStartMs_ = lastEstimateMs_ = lastCheckpointMs_ = platform::MonotonicMilliseconds();
  remaining_ = -1;
  ExpectSequentialReads(medium_);

  std::size_t first = 0;
  std::uint64_t offset = 0;
  if (resuming_ && position_.extentLength == 0) {
    // The earlier walk stopped before it reached any extent: all of them are left.
    resuming_ = false;
  } else if (resuming_) {
    // The extent the earlier walk was in, and how far into it it got.
    const auto at = std::find_if(extents.begin(), extents.end(), [&](const SectorRun& e) {
      return e.First() == position_.extentStart;
    });
    if (at != extents.end()) {
      first = static_cast<std::size_t>(at - extents.begin());
      offset = std::min(position_.extentOffset, at->Count());
    } else {
      first = extents.size();  // nothing matches: the earlier walk had finished
    }
    resuming_ = false;
  } else {
    position_ = ScanResumePoint{};
  }
  for (std::size_t i = first; i < extents.size(); ++i) {
    if (const ResultCode rc = WalkExtent(extents[i], i == first ? offset : 0);
        rc != result::kSuccess) {
      return rc;
    }
  }
  if (!extents.empty()) {
    position_.extentStart = extents.back().First();
    position_.extentLength = extents.back().Count();
    position_.extentOffset = extents.back().Count();
  }
  position_.filesFound = GetFoundCount();
  return result::kSuccess;
}

ResultCode CProfessionalRecovery::ReadChunk(std::uint64_t sector, std::uint32_t count,
                                            std::uint32_t& readable) {
  readable = 0;
  std::int32_t got = 0;
  const auto bytes = std::span(buffer_).first(static_cast<std::size_t>(count) * sectorBytes_);
  // An area that claims more than the medium holds is read up to the medium's end.
  const std::uint64_t end = medium_.TotalBytes() / sectorBytes_;
  if (sector >= end) return result::kInvalidParameter;
  const auto present = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, end - sector));
  const auto beyond = bytes.subspan(static_cast<std::size_t>(present) * sectorBytes_);
  std::fill(beyond.begin(), beyond.end(), std::uint8_t{0});
  std::vector<std::uint32_t> unreadable;
  const ResultCode rc = ReadSectors(medium_, bytes, sector, static_cast<std::int32_t>(present),
                                    static_cast<std::int32_t>(sectorBytes_), got, unreadable);
  if (rc != result::kSuccess && rc != result::kReadFault) return rc;
  // The device read what it could sector by sector: the rest are zeros, which nothing
  // recognises, and are counted.
  unreadable_ += unreadable.size() + (count - present);
  readable = count;
  return result::kSuccess;
}

ResultCode CProfessionalRecovery::WalkExtent(const SectorRun& extent, std::uint64_t offset) {
  const std::uint64_t chunk = buffer_.size() / sectorBytes_;
  position_.extentStart = extent.First();
  position_.extentLength = extent.Count();
  while (offset < extent.Count()) {
    const auto count = static_cast<std::uint32_t>(std::min(chunk, extent.Count() - offset));
    const std::uint64_t sector = firstSector_ + extent.First() + offset;
    std::uint32_t readable = 0;
    if (ReadChunk(sector, count, readable) != result::kSuccess) {
      // Past the end of the medium: the area claimed more than there is.
      unreadable_ += extent.Count() - offset;
      position_.sectorsDone += extent.Count() - offset;
      break;
    }
    std::uint64_t next = count;
    const auto bytes = std::span<const std::uint8_t>(buffer_).first(
        static_cast<std::size_t>(readable) * sectorBytes_);
    carveContext_.SetWalkWindow(sector, bytes);
    ResultCode rc = result::kSuccess;
    try {
      rc = Dispatch(bytes, sector, next);
    } catch (const std::exception&) {
      // A buffer that cannot be handled loses only its own rest.
      rc = result::kSuccess;
      next = count;
    }
    carveContext_.ClearWalkWindow();
    const std::uint64_t advance = std::max<std::uint64_t>(next, rc == result::kSuccess ? count : 0);
    position_.sectorsDone += std::min(advance, extent.Count() - offset);
    offset = std::min(extent.Count(), offset + advance);
    position_.extentOffset = offset;
    position_.filesFound = GetFoundCount();
    if (rc != result::kSuccess) return rc;
    if (const ResultCode reported = Report(); reported != result::kSuccess) return reported;
  }
  return result::kSuccess;
}

ResultCode CProfessionalRecovery::Dispatch(std::span<const std::uint8_t> bytes,
                                           std::uint64_t firstSector, std::uint64_t& next) {
  const std::uint64_t sectors = bytes.size() / sectorBytes_;
  const std::uint32_t recordBytes = CProfessionalNtfsRecovery::RecordBytes(sectorBytes_);
  std::uint64_t found = GetFoundCount();
  std::uint64_t i = 0;
  while (i < sectors) {
    const auto sector = bytes.subspan(static_cast<std::size_t>(i) * sectorBytes_, sectorBytes_);
    const std::uint64_t absolute = firstSector + i;
    std::uint64_t step = 1;
    if (CProfessionalNtfsRecovery::IsRecordCandidate(sector, recordBytes)) {
      const std::size_t left = bytes.size() - static_cast<std::size_t>(i) * sectorBytes_;
      std::span<std::uint8_t> record(record_);
      if (left >= recordBytes) {
        std::copy_n(sector.begin(), recordBytes, record.begin());
        record = record.first(recordBytes);
      } else {
        // The record runs past the buffer: read it again whole.
        std::int32_t got = 0;
        const auto count = static_cast<std::int32_t>(kStraddlingRecordBytes / sectorBytes_);
        std::fill(record.begin(), record.end(), std::uint8_t{0});
        ReadSectors(medium_, record, absolute, std::max(count, 1),
                    static_cast<std::int32_t>(sectorBytes_), got);
      }
      ntfs_.HandleRecord(record, absolute);
    } else if (IsNtfsBootSector(sector)) {
      // An old volume's boot sector, or its backup: where its records' clusters count from.
      ntfs_.HandleBootSector(sector, absolute);
    } else if (IsDotPairSector(sector)) {
      fat_.OnFolderStartSector(sector, absolute);
    } else if (IsFatDirectorySector(sector)) {
      fat_.OnFatDirectorySector(sector, absolute);
    } else {
      // A volume's boot sector tells the FAT scan where that volume's clusters lie.
      if (IsFatBootSector(sector)) fat_.OnFatBootSector(sector, absolute);
      CarveCandidate candidate;
      candidate.medium = &medium_;
      candidate.sectorSize = static_cast<std::int32_t>(sectorBytes_);
      candidate.sector = sector;
      candidate.hitSector = absolute;
      candidate.sectorsDone = position_.sectorsDone + i;
      candidate.totalSectors = total_;
      candidate.remainingSeconds = remaining_;
      candidate.filesFound = found;
      const ResultCode rc = carver_.CarveAt(carveContext_, candidate, step, found);
      if (rc == ResultCancelled) {
        next = i;  // this sector is judged again when the scan goes on
        return rc;
      }
      if (step == 0) step = 1;
    }
    i += step;
  }
  next = i;
  return result::kSuccess;
}

ResultCode CProfessionalRecovery::Report() {
  const std::uint64_t now = platform::MonotonicMilliseconds();
  if (now - lastEstimateMs_ >= kEstimateIntervalMs) {
    lastEstimateMs_ = now;
    const std::uint64_t seconds = (now - walkStartMs_) / 1000;
    const std::uint64_t speed =
        seconds == 0 ? 0 : position_.sectorsDone * sectorBytes_ / seconds;  // bytes a second
    const std::uint64_t left = total_ > position_.sectorsDone ? total_ - position_.sectorsDone : 0;
    remaining_ = static_cast<std::int32_t>(std::min<std::uint64_t>(
        left * sectorBytes_ / std::max<std::uint64_t>(speed, 1), INT32_MAX));
  }
  if (checkpoint_ && now - lastCheckpointMs_ >= kCheckpointIntervalMs) {
    lastCheckpointMs_ = now;
    checkpoint_(position_);
  }
  if (scanProgress_ == nullptr) return result::kSuccess;
  const std::uint64_t percent = total_ == 0 ? 100 : position_.sectorsDone * 100 / total_;
  return scanProgress_(progressContext_,
                       static_cast<std::int32_t>(std::min<std::uint64_t>(percent, 100)) + 10,
                       kWalkWeight, remaining_, position_.sectorsDone, total_, GetFoundCount(), 0);
}

ResultCode CProfessionalRecovery::ListFolder(const FoundFile* folder, std::int32_t depth,
                                             std::vector<FoundFile>& out) {
  if (folder != nullptr) {
    IFileRecoveryParse* engine = EngineFor(folder->sourceEngine);
    if (engine == nullptr || engine == &carver_) return result::kSuccess;
    const ResultCode rc = engine->ListFolder(folder, depth, out);
    SortListing(out);
    return rc;
  }
  if (depth != 0) return result::kInvalidParameter;
  ResultCode result = result::kSuccess;
  for (IFileRecoveryParse* engine : Engines()) {
    std::vector<FoundFile> part;
    if (const ResultCode rc = engine->ListFolder(nullptr, 0, part); rc != result::kSuccess) {
      result = rc;
    }
    out.insert(out.end(), part.begin(), part.end());
  }
  SortListing(out);
  return result;
}

ResultCode CProfessionalRecovery::CountFolderFiles(const FoundFile* folder, std::int32_t depth,
                                                   std::int32_t& count) {
  count = 0;
  if (folder != nullptr) {
    IFileRecoveryParse* engine = EngineFor(folder->sourceEngine);
    return engine != nullptr ? engine->CountFolderFiles(folder, depth, count) : result::kSuccess;
  }
  if (depth != 0) return result::kInvalidParameter;
  std::int64_t sum = 0;
  for (IFileRecoveryParse* engine : Engines()) {
    std::int32_t part = 0;
    engine->CountFolderFiles(nullptr, 0, part);
    sum += part;
  }
  count = static_cast<std::int32_t>(std::min<std::int64_t>(sum, INT32_MAX));
  return result::kSuccess;
}

std::uint64_t CProfessionalRecovery::GetFoundCount() {
  std::uint64_t count = 0;
  for (IFileRecoveryParse* engine : Engines()) count += engine->GetFoundCount();
  return count;
}

ResultCode CProfessionalRecovery::GetParentPath(const FoundFile& record, std::string& out) {
  IFileRecoveryParse* engine = EngineFor(record.sourceEngine);
  if (engine == nullptr || engine == &carver_) {
    out.clear();
    return result::kSuccess;
  }
  return engine->GetParentPath(record, out);
}

ResultCode CProfessionalRecovery::RecoverItem(const FoundFile& record,
                                              const std::string& targetPath,
                                              std::int32_t depthOffset) {
  IFileRecoveryParse* engine = EngineFor(record.sourceEngine);
  return engine != nullptr ? engine->RecoverItem(record, targetPath, depthOffset)
                           : result::kSuccess;
}

std::int32_t CProfessionalRecovery::NextFreeExtent(std::uint64_t&, std::uint64_t&) {
  return 0;
}

ResultCode CProfessionalRecovery::BuildUsedClusterMap() {
  return result::kSuccess;
}

ResultCode CProfessionalRecovery::ExtractForPreview(const FoundFile& record, std::string& tempPath,
                                                    std::span<std::uint8_t> buffer,
                                                    std::uint32_t& size,
                                                    ListProgressCallback progress, void* context) {
  IFileRecoveryParse* engine = EngineFor(record.sourceEngine);
  if (engine == nullptr) {
    size = 0;
    return result::kSuccess;
  }
  return engine->ExtractForPreview(record, tempPath, buffer, size, progress, context);
}

ByteRunsAnswer CProfessionalRecovery::ByteRunsOf(const FoundFile& record,
                                                 std::vector<ByteRun>& runs) {
  IFileRecoveryParse* engine = EngineFor(record.sourceEngine);
  if (engine == nullptr) {
    runs.clear();
    return ByteRunsAnswer::kUnknown;
  }
  return engine->ByteRunsOf(record, runs);
}

ResultCode CProfessionalRecovery::ReadFileData(
    const FoundFile& record, const std::function<ResultCode(std::span<const std::uint8_t>)>& sink) {
  IFileRecoveryParse* engine = EngineFor(record.sourceEngine);
  return engine != nullptr ? engine->ReadFileData(record, sink) : result::kNotSupported;
}

FileTimes CProfessionalRecovery::TimesOf(const FoundFile& record) {
  IFileRecoveryParse* engine = EngineFor(record.sourceEngine);
  return engine != nullptr ? engine->TimesOf(record)
                           : FileTimes{record.created, record.accessed, record.modified};
}

std::optional<std::uint64_t> CProfessionalRecovery::FirstDataSector(const FoundFile& file) {
  switch (static_cast<SourceEngine>(file.sourceEngine)) {
    case SourceEngine::kQuickNtfs:
    case SourceEngine::kProfessionalNtfs: {
      std::vector<DataRun> runs;
      if (ntfs_.ReadDataRuns(file.entrySector, runs) != result::kSuccess || runs.empty()) break;
      if (file.clusterBytes == 0 || file.clusterBytes == 0xFFFFFFFFu) break;
      const auto cluster = static_cast<std::uint64_t>(runs.front().clusterDelta);
      return cluster * file.clusterBytes / sectorBytes_ + file.volumeStartSector;
    }
    case SourceEngine::kQuickFat:
    case SourceEngine::kProfessionalFat: {
      const std::uint64_t base = file.volumeStartSector + file.dataAreaSector;
      if (file.startCluster == 0) return base >= 32 ? base - 32 : 0;
      return base + static_cast<std::uint64_t>(file.clusterBytes / sectorBytes_) *
                        (file.startCluster >= 2 ? file.startCluster - 2 : 0);
    }
    case SourceEngine::kCarving:
      break;
  }
  return std::nullopt;
}

std::int32_t CProfessionalRecovery::VisitFilesByType(
    const std::string& patterns, const std::function<void(const FoundFile&)>& visit) {
  std::int32_t readable = 1;
  // Where each file the file systems list begins on the medium, with its extension, so that
  // a carved file at the same place is not listed a second time.
  std::unordered_multimap<std::uint64_t, std::string> starts;
  for (IFileRecoveryParse* engine :
       std::initializer_list<IFileRecoveryParse*>{quick_.get(), &fat_, &ntfs_}) {
    if (engine == nullptr) continue;
    const std::int32_t part = engine->VisitFilesByType(patterns, [&](const FoundFile& file) {
      if (const auto sector = FirstDataSector(file)) {
        starts.emplace(*sector, LowerExtension(file.Name()));
      }
      visit(file);
    });
    if (part == 0) readable = 0;
  }
  const std::int32_t carved = carver_.VisitFilesByType(patterns, [&](const FoundFile& file) {
    const std::string extension = LowerExtension(file.Name());
    const auto [begin, end] = starts.equal_range(file.entrySector);
    const bool known = std::any_of(begin, end, [&](const auto& start) {
      return start.second == extension || (start.second == "thm" && extension == "jpg");
    });
    if (!known) visit(file);
  });
  return carved == 0 ? 0 : readable;
}

std::int32_t CProfessionalRecovery::ListFilesByType(const std::string& patterns,
                                                    std::vector<FoundFile>& out) {
  std::vector<FoundFile> merged;
  const std::int32_t readable =
      VisitFilesByType(patterns, [&](const FoundFile& file) { merged.push_back(file); });
  SortListing(merged);
  out.insert(out.end(), merged.begin(), merged.end());
  return readable;
}

}  // namespace keldrive
