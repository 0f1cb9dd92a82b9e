#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/log_backed_engine.h"
#include "ntfs/data_run.h"

namespace keldrive {

// The NTFS part of the deep scan: finds NTFS file records anywhere on the medium, not only
// in the live master file table, and rebuilds their folders by locating each record's MFT:
// one met on the medium, or one assumed to run contiguously from where the record's number
// says it begins. The combined engine's walk offers it every sector that passes the record
// test; its folder pass runs after the last sector. Its records carry sourceEngine 2 and
// live in a "Pro_Ntfs_" log.
class CProfessionalNtfsRecovery : public LogBackedEngine {
 public:
  explicit CProfessionalNtfsRecovery(ScanEnvironment environment);

  // The combined engine drives the scan: these do nothing.
  ResultCode Scan(std::string_view logName) override;
  std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) override;
  ResultCode BuildUsedClusterMap() override;

  // The record test on bytes already in the walk's buffer: "FILE", bytes in use at most
  // and bytes allocated equal to `recordBytes`, and the update sequence number repeated at
  // the end of the first 512 bytes. Looks at no more than the first 512 bytes.
  static bool IsRecordCandidate(std::span<const std::uint8_t> sector, std::uint32_t recordBytes);
  // The length of a record on a medium of `sectorBytes` sectors: two 512-byte sectors, or
  // one larger sector.
  static std::uint32_t RecordBytes(std::uint32_t sectorBytes) {
    return sectorBytes <= 512 ? 2 * sectorBytes : sectorBytes;
  }

  // Starts with a new "Pro_Ntfs_" log, or with the earlier log `logName`.
  ResultCode CreateLog(std::string_view logName);
  // A candidate found at `absoluteSector`, with at least a record's bytes (the handler may
  // apply the update sequence in place). Folders are passed over.
  void HandleRecord(std::span<std::uint8_t> record, std::uint64_t absoluteSector);
  // After the last sector: the folders of the files found, with "LostFolder%d" folders
  // for parents that are gone.
  ResultCode FolderPass();
  // The runs of the first data attribute of the record at `recordSector`.
  ResultCode ReadDataRuns(std::uint64_t recordSector, std::vector<DataRun>& runs);

 protected:
  ResultCode OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount, char16_t driveLetter,
                        std::uint32_t deviceSectorBytes) override;
  std::uint32_t RootFolder() const override { return 5; }
  CopyFileData DataOf(const FoundFile& record) override;

 private:
  std::uint64_t volumeStart_ = 0;
  std::uint64_t sectorCount_ = 0;
  char16_t driveLetter_ = 0;
  std::uint32_t bytesPerSector_ = 512;
};

}  // namespace keldrive
