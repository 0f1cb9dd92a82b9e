#pragma once

#include <memory>

#include "engine/recovery_engine.h"
#include "platform/file_handle.h"

namespace keldrive {

// The engine for ext volumes in deleted-file recovery: it recognises the volume and finds
// nothing, so ext volumes can be offered without a quick engine of their own. Its attach
// opens the disk and reports the open's result; everything else does nothing and succeeds.
class CFastExtRecovery final : public IFileRecoveryParse {
 public:
  ResultCode AttachImageFile(const std::string& path, char16_t driveLetter) override;
  ResultCode AttachDiskPartition(std::uint32_t diskNumber, std::uint64_t firstSector,
                                 std::uint64_t sectorCount, char16_t driveLetter) override;
  ResultCode AttachDevice(SectorDevice device, std::uint64_t firstSector, std::uint64_t sectorCount,
                          char16_t, std::uint32_t) override {
    device_ = std::move(device);
    firstSector_ = firstSector;
    sectorCount_ = sectorCount;
    return result::kSuccess;
  }
  ResultCode SetProgressCallbacks(ScanProgressCallback, RecoverProgressCallback, void*,
                                  std::int32_t) override {
    return result::kSuccess;
  }
  ResultCode Scan(std::string_view) override { return result::kSuccess; }
  ResultCode ListFolder(const FoundFile*, std::int32_t, std::vector<FoundFile>&) override {
    return result::kSuccess;
  }
  ResultCode CountFolderFiles(const FoundFile*, std::int32_t, std::int32_t&) override {
    return result::kSuccess;
  }
  std::uint64_t GetFoundCount() override { return 0; }
  ResultCode GetParentPath(const FoundFile&, std::string&) override { return result::kSuccess; }
  ResultCode RecoverItem(const FoundFile&, const std::string&, std::int32_t) override {
    return result::kSuccess;
  }
  std::int32_t NextFreeExtent(std::uint64_t&, std::uint64_t&) override { return 0; }
  ResultCode SetListProgressCallback(ListProgressCallback, void*) override {
    return result::kSuccess;
  }
  std::int32_t ListFilesByType(const std::string&, std::vector<FoundFile>&) override { return 0; }
  // It cannot tell used space from free: a deep scan of an ext volume walks all of it.
  ResultCode BuildUsedClusterMap() override { return result::kNotSupported; }
  ResultCode ExtractForPreview(const FoundFile&, std::string&, std::span<std::uint8_t>,
                               std::uint32_t&, ListProgressCallback, void*) override {
    return result::kSuccess;
  }

 private:
  std::unique_ptr<platform::FileHandle> disk_;
  SectorDevice device_;
  // Kept for the day ext volumes get an engine of their own.
  [[maybe_unused]] std::uint64_t firstSector_ = 0;
  [[maybe_unused]] std::uint64_t sectorCount_ = 0;
};

}  // namespace keldrive
