#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "session/recovery_mode.h"
#include "session/scan_area.h"
#include "session/scan_browser.h"
#include "session/scan_catalogue.h"
#include "session/scan_runner.h"

namespace keldrive::cli {

// What a MEDIUM argument names, as the areas a command works on: an image file (each
// volume of a partitioned one), a disk or partition device, or a number from `keldrive
// list`. `--volume N` keeps only area N of the listing.
struct MediumSelection {
  std::string argument;
  std::vector<ScanArea> areas;  // every area of the medium, in its listing order
  ScanArea whole;               // the whole medium
  bool partitioned = false;     // a disk or an image with a partition table
  std::optional<int> volume;    // --volume N
};

ResultCode ResolveMediumAreas(const Context& context, const std::string& argument,
                              std::optional<int> volume, MediumSelection& out,
                              std::string& message);

// The areas a deleted-file scan of the selection scans: the chosen volume, or every volume.
std::vector<ScanArea> DeletedScanAreas(const MediumSelection& selection);

// The scan-log root: the context's when set, else the user's (created when missing).
ResultCode ScanLogRoot(const Context& context, std::string& root);

// Scans of the areas of a medium, loaded for browsing and recovery.
struct ScanSet {
  std::vector<std::unique_ptr<LoadedScan>> scans;
  std::vector<LoadedScan*> Pointers() const;
  ScanSetBrowser Browser() const { return ScanSetBrowser(Pointers()); }
};

// How the scan command scans.
struct ScanOptions {
  RecoveryMode mode = RecoveryMode::kDeleted;
  bool whole = false;
  ResumeChoice resume = ResumeChoice::kAsk;
};

// The areas a scan of the selection in `mode` scans: for deleted recovery each volume, for
// the professional modes the whole disk or image (a volume of it with --volume).
std::vector<ScanArea> AreasToScan(const MediumSelection& selection, RecoveryMode mode);

// Scans each area with a progress bar on the terminal, one after another, recording every
// scan as one set; a stop (Ctrl+C) ends the set. An earlier deep scan that stopped
// part-way is gone on with when the options or the person at the terminal say so. The
// outcomes of the areas scanned, each holding its scan.
std::vector<ScanOutcome> RunScans(Context& context, ScanCatalogue& catalogue,
                                  const std::string& argument, const std::vector<ScanArea>& areas,
                                  const ScanOptions& options = ScanOptions{});

// Loads the newest scan of every area of the selection (scan folder `number` alone when
// given). When a medium changed since its scans, or was never scanned and `scanWhenMissing`
// is set, it is scanned again in deleted mode first, saying so on standard error. On
// failure returns a code and a message for the user.
ResultCode OpenScans(Context& context, const MediumSelection& selection,
                     std::optional<std::uint64_t> number, bool scanWhenMissing, ScanSet& out,
                     std::string& message);

// Resolves MEDIUM and loads its scans as OpenScans does: the start of every command that
// reads a medium's scans. On failure says why, under the argument, and returns false.
bool OpenMediumScans(Context& context, const std::string& argument, std::optional<int> volume,
                     std::optional<std::uint64_t> number, bool scanWhenMissing, ScanSet& out);

// "--scan N" when given; nothing, or false on a malformed value.
bool ParseScanNumber(const Arguments& arguments, std::optional<std::uint64_t>& number);
// "--volume N" when given; false on a malformed value.
bool ParseVolumeNumber(const Arguments& arguments, std::optional<int>& number);

}  // namespace keldrive::cli
