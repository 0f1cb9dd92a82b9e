#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/scan_history_entry.h"
#include "platform/result_code.h"

namespace keldrive {

// Answers the free bytes of the volume mounted at a path. The program uses GetFreeBytes;
// tests stand in for it.
using FreeBytesQuery =
    std::function<ResultCode(const std::string& volumeRoot, std::uint64_t& freeBytes)>;

// The record of earlier scans kept in the scan-log root: which areas and images were
// scanned, in which numbered folder their logs are, and how far each professional scan
// got, so that a later scan of the same unchanged area can reuse its logs.
//
// Its file "config" is an 8-byte scan number followed by 1120-byte entries. It is written
// only by RecordScanProgress, through "config.tmp" that then replaces "config" in one step.
class ScanHistory {
 public:
  // Loads the history of `root` (a folder path without a trailing "/"). A missing or
  // damaged file gives what can be read of it, down to an empty history; loading never
  // fails. When only "config.tmp" is there, the save it belongs to is completed first.
  explicit ScanHistory(std::string root, FreeBytesQuery freeBytes = DefaultFreeBytesQuery());

  static FreeBytesQuery DefaultFreeBytesQuery();

  const std::string& Root() const { return root_; }
  // The number of the last scan folder handed out; 0 when there is no history.
  std::uint64_t ScanNumber() const { return scanNumber_; }
  const std::vector<ScanHistoryEntry>& Entries() const { return entries_; }
  // Entries of the file that were damaged and left out when it was loaded.
  std::size_t SkippedEntries() const { return skippedEntries_; }
  // Set by the last find that succeeded, cleared by one that failed and by
  // BeginNewScanFolder.
  bool EarlierScanFound() const { return earlierScanFound_; }

  // The folder the logs of the current scan go to: the earlier scan's folder when one was
  // found, otherwise root/<scan number>/.
  std::string GetCurrentScanFolder() const;

  // Hands out the next scan number. A folder of that number left over from an earlier run
  // is deleted with its entry.
  ResultCode BeginNewScanFolder();

  // Hands out the next scan number whose folder does not exist and creates that folder
  // (exclusively: of two processes asking at once, each gets a folder of its own). A folder
  // that exists already is passed over, never emptied: it may be another process's scan.
  // `folder` ends with "/". The number is not saved; the caller saves under its lock.
  ResultCode ClaimNewScanFolder(std::string& folder);

  // Looks for an earlier scan of the area. `volumeRoot` is where the area's file system is
  // mounted, empty when it is not (its free bytes then count as 0). An entry for the area
  // whose free bytes differ from the volume's now is out of date: it is forgotten.
  bool FindPartitionScan(std::int32_t diskNumber, std::uint64_t firstSector,
                         std::uint64_t sectorCount, const std::string& volumeRoot,
                         ScanHistoryEntry& out, ScanKind kind = ScanKind::kProfessional);

  // Looks for an earlier scan of the image file (path compared exactly). An entry whose
  // recorded last-write time differs from the file's is forgotten. An area inside the image
  // (a volume of a partitioned image) is told apart by `area`; without one, any area of
  // the image matches.
  struct ImageArea {
    std::uint64_t firstSector = 0;
    std::uint64_t sectorCount = 0;
  };
  bool FindImageScan(const std::string& imagePath, ScanHistoryEntry& out,
                     ScanKind kind = ScanKind::kProfessional,
                     std::optional<ImageArea> area = std::nullopt);

  // Records how far the scan of an area (or, when `imagePath` is not empty, of an image)
  // got, adding its entry when there is none, and saves the history.
  ResultCode RecordScanProgress(const std::string& volumeRoot, std::int32_t diskNumber,
                                std::uint64_t firstSector, std::uint64_t sectorCount,
                                const ScanResumePoint& resume, const std::string& scanFolder,
                                const std::string& imagePath,
                                ScanKind kind = ScanKind::kProfessional);

  // Drops the entry of the scan folder (letter case ignored) and deletes the folder with
  // everything in it. Only folders inside the scan-log root are ever deleted, whatever the
  // history file says: any other path gives kAccessDenied and is left alone. The history
  // file is not written.
  ResultCode ForgetScanFolder(const std::string& folder);

  // The first name in the folder (in sorted order, names beginning with "." left out) that
  // contains `text`; `name` is empty when none does.
  static ResultCode FindFileInFolder(const std::string& folder, std::string_view text,
                                     std::string& name);

  // Writes the whole history. Used by RecordScanProgress.
  ResultCode Save() const;

 private:
  void Load();
  std::uint64_t CurrentFreeBytes(const std::string& volumeRoot) const;
  // The index of the area's entry; an out-of-date entry found on the way is forgotten.
  std::optional<std::size_t> LocateArea(std::int32_t diskNumber, std::uint64_t firstSector,
                                        std::uint64_t sectorCount, std::uint64_t freeBytes,
                                        ScanKind kind);
  std::optional<std::size_t> LocateImage(const std::string& imagePath, FileTime writeTime,
                                         ScanKind kind, std::optional<ImageArea> area);
  bool Remember(std::optional<std::size_t> index, ScanHistoryEntry& out);

  std::string root_;
  FreeBytesQuery freeBytes_;
  std::uint64_t scanNumber_ = 0;
  std::vector<ScanHistoryEntry> entries_;
  std::size_t skippedEntries_ = 0;
  bool earlierScanFound_ = false;
  std::string earlierScanFolder_;
};

}  // namespace keldrive
