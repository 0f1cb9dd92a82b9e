#include "carve/file_type_recovery.h"

#include <algorithm>
#include <limits>

#include "engine/scan_log_name.h"
#include "platform/path_info.h"

namespace keldrive {
namespace {

// Carved files are copied in pieces of this size, read in whole sectors.
constexpr std::uint64_t kCopyPieceBytes = 1 << 20;
constexpr std::uint32_t kNoClusterSize = 0xFFFFFFFF;

std::int32_t PercentDone(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 100;
  const std::uint64_t percent = total > std::numeric_limits<std::uint64_t>::max() / 100
                                    ? done / (total / 100)
                                    : done * 100 / total;
  return static_cast<std::int32_t>(std::min<std::uint64_t>(percent, 100));
}

// Reads `count` sectors from `sector` into `out`. Where the read fails, the rest is read
// sector by sector, and sectors that still cannot be read are left as zeros, so that what
// the medium does give is kept in its place. The result is the first read error, if any.
ResultCode ReadSalvaging(SectorDevice& device, std::span<std::uint8_t> out, std::uint64_t sector,
                         std::int32_t count, std::int32_t sectorSize) {
  std::int32_t got = 0;
  const ResultCode rc = ReadSectors(device, out, sector, count, sectorSize, got);
  if (rc == result::kSuccess) return rc;
  const auto sectorBytes = static_cast<std::size_t>(sectorSize);
  got = std::clamp(got, 0, count);
  for (std::int32_t i = got; i < count; ++i) {
    const auto piece = out.subspan(static_cast<std::size_t>(i) * sectorBytes, sectorBytes);
    std::int32_t one = 0;
    if (ReadSectors(device, piece, sector + static_cast<std::uint64_t>(i), 1, sectorSize, one) !=
            result::kSuccess ||
        one != 1) {
      std::fill(piece.begin(), piece.end(), std::uint8_t{0});
    }
  }
  return rc;
}

// A carved file is one run of sectors from its hit sector; its last sector is cut to the
// file's size. A piece that cannot be read whole is reported with its error, and the
// report decides whether the copy goes on; a file with any unread sector never comes out
// as a success.
ResultCode CopyCarvedFileData(SectorDevice& device, std::int32_t sectorSize,
                              const FoundFile& record, std::uint64_t limit, const DataSink& sink,
                              const PieceReport& report) {
  const std::uint64_t total = std::min(record.size, limit);
  if (total == 0) return report(100, result::kSuccess);
  if (sectorSize <= 0) return report(100, result::kInvalidParameter);
  const auto sectorBytes = static_cast<std::uint64_t>(sectorSize);
  const std::uint64_t pieceSectors = std::max<std::uint64_t>(1, kCopyPieceBytes / sectorBytes);
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(pieceSectors * sectorBytes));

  std::uint64_t sector = record.entrySector;
  std::uint64_t remaining = total;
  ResultCode firstError = result::kSuccess;
  while (remaining > 0) {
    // Nothing lies past the end of the medium.
    if (sector >= device.totalSectors) {
      firstError = firstError != result::kSuccess ? firstError : result::kReadFault;
      break;
    }
    const std::uint64_t wanted = std::min(
        {pieceSectors, (remaining + sectorBytes - 1) / sectorBytes, device.totalSectors - sector});
    const ResultCode read =
        ReadSalvaging(device, buffer, sector, static_cast<std::int32_t>(wanted), sectorSize);
    const std::uint64_t bytes = std::min(remaining, wanted * sectorBytes);
    if (const ResultCode written = sink(std::span(buffer).first(static_cast<std::size_t>(bytes)));
        written != result::kSuccess) {
      report(100, written);
      return written;
    }
    remaining -= bytes;
    sector += wanted;
    if (read != result::kSuccess && firstError == result::kSuccess) firstError = read;
    if (const ResultCode answer = report(PercentDone(total - remaining, total), read);
        answer != result::kSuccess) {
      return answer;
    }
  }
  if (firstError == result::kSuccess) return result::kSuccess;
  const ResultCode answer = report(100, firstError);
  return answer != result::kSuccess ? answer : firstError;
}

}  // namespace

bool WalkLooksInside(FileTypeCode code) {
  using enum FileTypeCode;
  switch (code) {
    case kDoc:
    case kOle:
    case kXls:
    case kPpt:
    case kWav:
    case kAvi:
    case kAsf:
    case kSwf:
    case kBmp:
    case kCab:
    case kTrueType:
    case kIco:
      return true;
    default:
      return false;
  }
}

CFileTypeRecovery::CFileTypeRecovery(ScanEnvironment environment)
    : LogBackedEngine(std::move(environment)) {}

ResultCode CFileTypeRecovery::OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount,
                                         char16_t driveLetter, std::uint32_t deviceSectorBytes) {
  volumeStart_ = firstSector;
  sectorCount_ = sectorCount;
  driveLetter_ = driveLetter;
  if (deviceSectorBytes != 0 &&
      deviceSectorBytes <= static_cast<std::uint32_t>(kMaxCarveSectorBytes)) {
    sectorSize_ = static_cast<std::int32_t>(deviceSectorBytes);
  }
  return result::kSuccess;
}

ResultCode CFileTypeRecovery::Scan(std::string_view) {
  return result::kSuccess;
}

std::int32_t CFileTypeRecovery::NextFreeExtent(std::uint64_t&, std::uint64_t& length) {
  length = 0;
  return 0;
}

ResultCode CFileTypeRecovery::BuildUsedClusterMap() {
  return result::kSuccess;
}

ResultCode CFileTypeRecovery::ListFolder(const FoundFile* folder, std::int32_t depth,
                                         std::vector<FoundFile>& out) {
  if (folder == nullptr && depth != 0) return result::kInvalidParameter;
  if (folder != nullptr) return result::kSuccess;
  return LogBackedEngine::ListFolder(nullptr, 0, out);
}

ResultCode CFileTypeRecovery::CountFolderFiles(const FoundFile* folder, std::int32_t depth,
                                               std::int32_t& count) {
  count = 0;
  if (folder == nullptr && depth != 0) return result::kInvalidParameter;
  if (folder != nullptr) return result::kSuccess;
  return LogBackedEngine::CountFolderFiles(nullptr, 0, count);
}

ResultCode CFileTypeRecovery::GetParentPath(const FoundFile&, std::string&) {
  return result::kSuccess;
}

ResultCode CFileTypeRecovery::BeginCarveScan() {
  bool loaded = false;
  return StartLog({}, kFileTypeLogPrefix, static_cast<std::int64_t>(volumeStart_), loaded);
}

ResultCode CFileTypeRecovery::ResumeCarveScan(std::string_view logName, std::int32_t sectorSize) {
  if (!logName.starts_with(kFileTypeLogPrefix) || logName.find('/') != std::string_view::npos ||
      sectorSize <= 0 || sectorSize > kMaxCarveSectorBytes) {
    return result::kInvalidParameter;
  }
  // Opening a log creates it when missing; an earlier scan's log that is gone is an error.
  const std::string folder =
      environment_.currentScanFolder ? environment_.currentScanFolder() : std::string();
  const std::string records =
      folder + (folder.empty() || folder.back() == '/' ? "" : "/") + std::string(logName);
  if (platform::QueryPathKind(records) != platform::PathKind::kRegularFile) {
    return result::kFileNotFound;
  }
  sectorSize_ = sectorSize;
  bool loaded = false;
  return StartLog(logName, kFileTypeLogPrefix, static_cast<std::int64_t>(volumeStart_), loaded);
}

ResultCode CFileTypeRecovery::CarveAt(CarveContext& context, const CarveCandidate& candidate,
                                      std::uint64_t& stepSectors, std::uint64_t& filesFound) {
  stepSectors = 1;
  if (candidate.sectorSize <= 0 || candidate.sectorSize > kMaxCarveSectorBytes) {
    return result::kInvalidParameter;
  }
  if (!log_) {
    if (const ResultCode rc = BeginCarveScan(); rc != result::kSuccess) return rc;
  }
  sectorSize_ = candidate.sectorSize;
  CarveCandidate offered = candidate;
  if (offered.medium == nullptr) offered.medium = &device_;
  offered.filesFound = filesFound;
  context.progress.callback = scanProgress_;
  context.progress.callbackContext = progressContext_;
  context.progress.weight = weight_;

  CarvedFileHit hit;
  if (const ResultCode rc = IdentifyAndSize(context, offered, hit); rc != result::kSuccess) {
    return rc;
  }
  FoundFile record;
  record.driveLetter = driveLetter_;
  record.sourceEngine = static_cast<std::uint32_t>(SourceEngine::kCarving);
  record.contentOk = 1;
  record.clusterBytes = kNoClusterSize;
  record.size = hit.size;
  record.entrySector = candidate.hitSector;
  record.SetName(hit.name);
  const std::uint32_t number = log_->AppendRecord(record);
  log_->AddChild(RootFolder(), 0, number);

  const auto sectorBytes = static_cast<std::uint64_t>(candidate.sectorSize);
  const std::uint64_t fileSectors = hit.size / sectorBytes + (hit.size % sectorBytes != 0 ? 1 : 0);
  stepSectors = WalkLooksInside(hit.code) ? 1 : std::max<std::uint64_t>(1, fileSectors);
  ++filesFound;
  return result::kSuccess;
}

CopyFileData CFileTypeRecovery::DataOf(const FoundFile& record) {
  return [this, &record](std::uint64_t limit, const DataSink& sink, const PieceReport& report) {
    return CopyCarvedFileData(device_, sectorSize_, record, limit, sink, report);
  };
}

ByteRunsAnswer CFileTypeRecovery::ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) {
  runs.clear();
  if (!ready_ || record.isFolder != 0 || sectorSize_ <= 0) return ByteRunsAnswer::kUnknown;
  if (record.size == 0) return ByteRunsAnswer::kKnown;
  const auto sectorBytes = static_cast<std::uint64_t>(sectorSize_);
  if (record.entrySector >= device_.totalSectors || record.entrySector > UINT64_MAX / sectorBytes) {
    return ByteRunsAnswer::kUnknown;
  }
  // The copy reads nothing past the end of the medium.
  const std::uint64_t onMedium = (device_.totalSectors - record.entrySector) * sectorBytes;
  runs.push_back({0, record.entrySector * sectorBytes, std::min(record.size, onMedium), false});
  return record.size <= onMedium ? ByteRunsAnswer::kKnown : ByteRunsAnswer::kUnknown;
}

}  // namespace keldrive
