#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "carve/carve_context.h"
#include "carve/identify.h"
#include "engine/log_backed_engine.h"

namespace keldrive {

// The signature carving engine: turns what the signature detectors recognise into found
// files. It never walks the medium itself: the combined engine's walk offers it every
// sector no file-system engine claims (CarveAt), and each hit becomes one record of its
// "File_Type_" log, a file of one contiguous run of sectors from the hit sector. Listing,
// recovery and preview then work on that log like every engine's.
//
// Attach it (AttachDevice with the walk's medium shared through ShareDevice, or the
// usual attach operations), start its log (BeginCarveScan, or ResumeCarveScan when an
// earlier scan goes on), then call CarveAt for the sectors of the walk.
class CFileTypeRecovery : public LogBackedEngine {
 public:
  explicit CFileTypeRecovery(ScanEnvironment environment);

  // The combined engine drives the scan: these do nothing.
  ResultCode Scan(std::string_view logName) override;
  std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) override;
  ResultCode BuildUsedClusterMap() override;

  // Carved files lie in no folder: a folder lists and counts nothing, the root everything.
  ResultCode ListFolder(const FoundFile* folder, std::int32_t depth,
                        std::vector<FoundFile>& out) override;
  ResultCode CountFolderFiles(const FoundFile* folder, std::int32_t depth,
                              std::int32_t& count) override;
  // A carved file has no parents: succeeds and leaves `out` as it is.
  ResultCode GetParentPath(const FoundFile& record, std::string& out) override;

  // Starts a new "File_Type_" log in the current scan folder, named after the volume's
  // first sector and the time, for the files a new scan carves.
  ResultCode BeginCarveScan();
  // Goes on with the earlier scan's log `logName` (a "File_Type_" log in the current scan
  // folder): its records stay listed and new ones follow them. `sectorSize` is the walk's,
  // which recovery reads carved files with. 87 for a name of another log, 2 when the log
  // is not there.
  ResultCode ResumeCarveScan(std::string_view logName, std::int32_t sectorSize);

  // Offers the walk's sector `candidate.hitSector` (its bytes in `candidate.sector`, its
  // medium `candidate.medium`, the engine's own when null) to the detectors. A hit is
  // recorded, `filesFound` grows by one, and `stepSectors` says where the walk goes on:
  // the next sector for types that may hold other files (compound documents, wav, avi,
  // asf, swf, bmp, cab, ttf, ico), else the first sector after the file. The progress
  // callbacks reach the size rules with the candidate's progress data and `filesFound`.
  // Returns 0 for a hit, 87 when nothing is carved there (step 1), kCancelled when the
  // user stopped while the file was sized (step 1; the walk must end), or the error of
  // starting a log when none had been started.
  ResultCode CarveAt(CarveContext& context, const CarveCandidate& candidate,
                     std::uint64_t& stepSectors, std::uint64_t& filesFound);

  // A carved file is one run from its hit sector, cut where the medium ends.
  ByteRunsAnswer ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) override;

  // The sector size carved files are read with: the device's, then the walk's.
  std::int32_t SectorSize() const { return sectorSize_; }

 protected:
  ResultCode OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount, char16_t driveLetter,
                        std::uint32_t deviceSectorBytes) override;
  std::uint32_t RootFolder() const override { return 0; }
  CopyFileData DataOf(const FoundFile& record) override;

 private:
  std::uint64_t volumeStart_ = 0;
  std::uint64_t sectorCount_ = 0;
  char16_t driveLetter_ = 0;
  std::int32_t sectorSize_ = 512;
};

// Whether the walk steps into a carved file of this type, sector by sector, to look for
// files inside it, rather than stepping over it.
bool WalkLooksInside(FileTypeCode code);

}  // namespace keldrive
