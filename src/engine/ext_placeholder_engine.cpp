#include "engine/ext_placeholder_engine.h"

#include "platform/disk_catalog.h"

namespace keldrive {

ResultCode CFastExtRecovery::AttachImageFile(const std::string&, char16_t) {
  return result::kSuccess;
}

ResultCode CFastExtRecovery::AttachDiskPartition(std::uint32_t diskNumber,
                                                 std::uint64_t firstSector,
                                                 std::uint64_t sectorCount, char16_t) {
  firstSector_ = firstSector;
  sectorCount_ = sectorCount;
  disk_.reset();
  return platform::OpenDisk(static_cast<int>(diskNumber), disk_);
}

}  // namespace keldrive
