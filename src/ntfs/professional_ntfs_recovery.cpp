#include "ntfs/professional_ntfs_recovery.h"

#include "disk/byte_reader.h"
#include "engine/scan_log_name.h"

namespace keldrive {
namespace {

constexpr std::uint32_t kFileSignature = 0x454C4946;  // "FILE"
constexpr std::size_t kBytesInUseOffset = 0x18;
constexpr std::size_t kBytesAllocatedOffset = 0x1C;
constexpr std::size_t kUpdateSequenceNumberOffset = 0x30;
constexpr std::size_t kFirstSectorEndOffset = 0x1FE;

}  // namespace

CProfessionalNtfsRecovery::CProfessionalNtfsRecovery(ScanEnvironment environment)
    : LogBackedEngine(std::move(environment)) {}

ResultCode CProfessionalNtfsRecovery::Scan(std::string_view) {
  return result::kSuccess;
}

std::int32_t CProfessionalNtfsRecovery::NextFreeExtent(std::uint64_t&, std::uint64_t&) {
  return 0;
}

ResultCode CProfessionalNtfsRecovery::BuildUsedClusterMap() {
  return result::kSuccess;
}

bool CProfessionalNtfsRecovery::IsRecordCandidate(std::span<const std::uint8_t> sector,
                                                  std::uint32_t recordBytes) {
  ByteReader reader(sector);
  return reader.le32At(0) == kFileSignature && reader.le32At(kBytesInUseOffset) <= recordBytes &&
         reader.le32At(kBytesAllocatedOffset) == recordBytes &&
         reader.le16At(kUpdateSequenceNumberOffset) == reader.le16At(kFirstSectorEndOffset) &&
         reader.ok();
}

ResultCode CProfessionalNtfsRecovery::OpenVolume(std::uint64_t firstSector,
                                                 std::uint64_t sectorCount, char16_t driveLetter,
                                                 std::uint32_t deviceSectorBytes) {
  volumeStart_ = firstSector;
  sectorCount_ = sectorCount;
  driveLetter_ = driveLetter;
  bytesPerSector_ = deviceSectorBytes;
  return result::kSuccess;
}

ResultCode CProfessionalNtfsRecovery::CreateLog(std::string_view logName) {
  if (!ready_) return NotReady();
  bool loaded = false;
  return StartLog(logName, kProfessionalNtfsLogPrefix, static_cast<std::int64_t>(volumeStart_),
                  loaded);
}

void CProfessionalNtfsRecovery::HandleRecord(std::span<std::uint8_t>, std::uint64_t) {}

ResultCode CProfessionalNtfsRecovery::FolderPass() {
  return log_ ? log_->Flush() : result::kSuccess;
}

ResultCode CProfessionalNtfsRecovery::ReadDataRuns(std::uint64_t, std::vector<DataRun>& runs) {
  runs.clear();
  return result::kNotSupported;
}

CopyFileData CProfessionalNtfsRecovery::DataOf(const FoundFile&) {
  return [](std::uint64_t, const DataSink&, const PieceReport&) { return result::kNotSupported; };
}

}  // namespace keldrive
