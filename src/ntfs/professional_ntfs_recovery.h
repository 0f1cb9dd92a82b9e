#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/log_backed_engine.h"
#include "ntfs/data_run.h"
#include "ntfs/file_record.h"
#include "ntfs/mft_placement.h"
#include "ntfs/volume_geometry.h"

namespace keldrive {

// The NTFS part of the deep scan: finds NTFS file records anywhere on the medium, not only
// in the live master file table, and rebuilds their folders by locating each record's MFT:
// one met on the medium (its "$MFT" record, or a boot sector, the old volume's backup one
// included), or one assumed to run contiguously from where the record's number says it
// begins. The combined engine's walk offers it every sector that passes the record test;
// its folder pass runs after the last sector, when every MFT and folder the walk met is
// known, and places the files. Its records carry sourceEngine 2 and live in a "Pro_Ntfs_"
// log. A file's named data streams are files of their own, "file:stream".
class CProfessionalNtfsRecovery : public LogBackedEngine {
 public:
  explicit CProfessionalNtfsRecovery(ScanEnvironment environment);

  // The combined engine drives the scan: these do nothing.
  ResultCode Scan(std::string_view logName) override;
  std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) override;
  ResultCode BuildUsedClusterMap() override;

  // The record test on bytes already in the walk's buffer: "FILE", bytes in use at most
  // and bytes allocated equal to `recordBytes`, and the update sequence number (where the
  // header puts it) repeated at the end of the first 512 bytes. Looks at no more than the
  // first 512 bytes.
  static bool IsRecordCandidate(std::span<const std::uint8_t> sector, std::uint32_t recordBytes);
  // The length of a record on a medium of `sectorBytes` sectors: two 512-byte sectors, or
  // one larger sector.
  static std::uint32_t RecordBytes(std::uint32_t sectorBytes) {
    return sectorBytes <= 512 ? 2 * sectorBytes : sectorBytes;
  }
  // Sectors per cluster assumed for a volume of `sectorCount` sectors of `sectorBytes`
  // until file records tell better.
  static std::uint32_t DefaultSectorsPerCluster(std::uint64_t sectorCount,
                                                std::uint32_t sectorBytes);

  // Starts with a new "Pro_Ntfs_" log, or with the earlier log `logName`.
  ResultCode CreateLog(std::string_view logName);
  // A candidate found at `absoluteSector`, with at least a record's bytes (the handler
  // applies the update sequence in place). Folders are only noted, for the folder pass.
  void HandleRecord(std::span<std::uint8_t> record, std::uint64_t absoluteSector);
  // A sector of the walk that holds an NTFS boot sector: a volume, maybe the one of records
  // whose "$MFT" is gone. It may be the volume's first sector or its backup, the last one.
  void HandleBootSector(std::span<const std::uint8_t> sector, std::uint64_t absoluteSector);
  // After the last sector: places the files found, then lists the folders they lie in,
  // with "LostFolder%d" folders for parents that are gone. A read error of a folder record
  // is returned once everything else is placed.
  ResultCode FolderPass();
  // The runs of the first data attribute of the record at `recordSector`.
  ResultCode ReadDataRuns(std::uint64_t recordSector, std::vector<DataRun>& runs);

  const MftRunTable& MftTable() const { return mftTable_; }
  std::uint32_t SectorsPerClusterEstimate() const { return clusterEstimate_; }

  // The runs DataOf reads, as offsets on the medium.
  ByteRunsAnswer ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) override;

 protected:
  ResultCode OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount, char16_t driveLetter,
                        std::uint32_t deviceSectorBytes) override;
  std::uint32_t RootFolder() const override { return 5; }
  CopyFileData DataOf(const FoundFile& record) override;

 private:
  // A file found in the walk, in the log but not yet in a folder.
  struct PendingFile {
    std::uint32_t logRecord = 0;
    std::uint32_t number = 0;
    std::uint32_t parent = 0;
    std::uint64_t sector = 0;
  };
  // What the folder pass knows of a parent number: the first place it was looked up.
  struct FolderFacts {
    bool directory = false;
    std::uint32_t parent = 0;
    std::uint64_t sector = 0;  // where the record is, or was expected
    std::shared_ptr<const MftLayout> mft;
  };

  std::optional<std::uint32_t> NumberOf(const FileRecordHeader& header, std::uint64_t sector) const;
  void RefineClusterEstimate(std::span<const std::uint8_t> record, const FileRecordHeader& header);
  void NoteMftRecord(std::span<const std::uint8_t> record, const FileRecordHeader& header,
                     std::uint64_t sector);
  void PlaceFile(const PendingFile& pending);
  std::uint32_t ResolveParents(std::uint32_t parent, const std::shared_ptr<const MftLayout>& mft,
                               std::uint64_t near);
  const FolderFacts& FactsOf(std::uint32_t number, const std::shared_ptr<const MftLayout>& mft,
                             std::uint64_t near);
  bool ReadFolderFacts(std::uint64_t sector, std::uint32_t number, bool numberKnown,
                       FolderFacts& facts);
  ResultCode ListParentFolder(std::uint32_t number);
  void AddLostFolder(std::uint32_t number, std::uint64_t sector);
  NtfsGeometry GeometryOf(const FoundFile& record) const;

  NtfsGeometry geometry_;
  MftRunTable mftTable_;
  std::uint32_t clusterEstimate_ = 8;

  std::vector<PendingFile> pending_;
  // Folder records the walk met, by their number: the parents of files whose MFT is
  // not where it was assumed to be.
  std::unordered_multimap<std::uint32_t, std::uint64_t> folderSectors_;
  std::vector<std::uint32_t> parentList_;
  std::unordered_map<std::uint32_t, FolderFacts> folderFacts_;
};

}  // namespace keldrive
