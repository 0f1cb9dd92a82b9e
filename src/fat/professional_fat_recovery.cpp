#include "fat/professional_fat_recovery.h"

#include "engine/scan_log_name.h"

namespace keldrive {

CProfessionalFatRecovery::CProfessionalFatRecovery(ScanEnvironment environment)
    : LogBackedEngine(std::move(environment)) {}

ResultCode CProfessionalFatRecovery::Scan(std::string_view) {
  return result::kSuccess;
}

std::int32_t CProfessionalFatRecovery::NextFreeExtent(std::uint64_t&, std::uint64_t&) {
  return 0;
}

ResultCode CProfessionalFatRecovery::BuildUsedClusterMap() {
  return result::kSuccess;
}

ResultCode CProfessionalFatRecovery::OpenVolume(std::uint64_t firstSector,
                                                std::uint64_t sectorCount, char16_t driveLetter,
                                                std::uint32_t deviceSectorBytes) {
  volumeStart_ = firstSector;
  sectorCount_ = sectorCount;
  driveLetter_ = driveLetter;
  bytesPerSector_ = deviceSectorBytes;
  return result::kSuccess;
}

ResultCode CProfessionalFatRecovery::BeginFatScan(std::string_view logName) {
  if (!ready_) return NotReady();
  bool loaded = false;
  return StartLog(logName, kProfessionalFatLogPrefix, static_cast<std::int64_t>(volumeStart_),
                  loaded);
}

ResultCode CProfessionalFatRecovery::SeedFatGeometry() {
  return result::kSuccess;
}

void CProfessionalFatRecovery::OnFolderStartSector(std::span<const std::uint8_t>, std::uint64_t) {}

void CProfessionalFatRecovery::OnFatDirectorySector(std::span<const std::uint8_t>,
                                                    std::uint64_t) {}

ResultCode CProfessionalFatRecovery::FinishFatScan() {
  return log_ ? log_->Flush() : result::kSuccess;
}

CopyFileData CProfessionalFatRecovery::DataOf(const FoundFile&) {
  return [](std::uint64_t, const DataSink&, const PieceReport&) { return result::kNotSupported; };
}

}  // namespace keldrive
