#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/log_backed_engine.h"

namespace keldrive {

// The FAT part of the deep scan: rebuilds FAT folders and files from directory sectors
// found anywhere on the medium, after a format, a repartition or damage to the boot
// sector or the allocation table. It never walks a directory tree: the combined engine's
// walk hands it every sector that looks like FAT directory content, and it works out from
// those alone where each data area lies and how large its clusters are. Its records carry
// sourceEngine 3 and live in a "Pro_Fat_" log; a file's clusters are taken to follow one
// another.
class CProfessionalFatRecovery : public LogBackedEngine {
 public:
  explicit CProfessionalFatRecovery(ScanEnvironment environment);

  // The combined engine drives the scan: these do nothing.
  ResultCode Scan(std::string_view logName) override;
  std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) override;
  ResultCode BuildUsedClusterMap() override;

  // Starts from nothing, with a new "Pro_Fat_" log, or with the earlier log `logName`.
  ResultCode BeginFatScan(std::string_view logName);
  // Takes the geometry of an intact boot sector at the volume start, when there is one.
  ResultCode SeedFatGeometry();
  // A sector that begins with a "." and ".." pair: the first sector of a folder.
  void OnFolderStartSector(std::span<const std::uint8_t> sector, std::uint64_t absoluteSector);
  // Any other sector of FAT directory entries.
  void OnFatDirectorySector(std::span<const std::uint8_t> sector, std::uint64_t absoluteSector);
  // After the last sector: places what could not be placed yet and writes the folders.
  ResultCode FinishFatScan();

 protected:
  ResultCode OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount, char16_t driveLetter,
                        std::uint32_t deviceSectorBytes) override;
  std::uint32_t RootFolder() const override { return rootCluster_; }
  CopyFileData DataOf(const FoundFile& record) override;

 private:
  std::uint64_t volumeStart_ = 0;
  std::uint64_t sectorCount_ = 0;
  char16_t driveLetter_ = 0;
  std::uint32_t bytesPerSector_ = 512;
  std::uint32_t rootCluster_ = 2;
};

}  // namespace keldrive
