#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/recovery_engine.h"
#include "platform/result_code.h"
#include "session/recovery_mode.h"
#include "session/scan_area.h"
#include "session/scan_catalogue.h"

namespace keldrive {

// How a scan stands, as both front ends show it.
struct ScanProgress {
  std::int32_t percent = 0;  // of the whole scan
  std::uint64_t sectorsDone = 0;
  std::uint64_t sectorsTotal = 0;  // 0 when the engine counts no sectors
  std::uint64_t found = 0;
  std::int32_t remainingSeconds = -1;  // -1 while unknown
};
// Told of every step; ResultCancelled stops the scan, which keeps what it found.
using ScanProgressSink = std::function<ResultCode(const ScanProgress&)>;

// What to do when an earlier professional scan of the same area stopped part-way.
enum class ResumeChoice {
  kAsk,     // ask through the request's question; go on when there is no question
  kResume,  // go on from where it stopped, in its scan folder
  kFresh,   // forget it (its folder is deleted) and scan from the start
};

struct ScanRequest {
  ScanArea area;
  RecoveryMode mode = RecoveryMode::kDeleted;
  bool whole = false;    // professional modes: every sector, not only free space
  std::string argument;  // what the user named, kept for messages and the history
  std::uint64_t set = 0;  // the set the scan belongs to (0: a set of its own)
  ResumeChoice resume = ResumeChoice::kAsk;
  // Asked, with the earlier scan's record, whether to go on from it: true goes on.
  std::function<bool(const ScanRecord& earlier)> askResume;
};

// A scan of one area that can be browsed, previewed and recovered from: its record, the
// engine holding its logs, and the medium they read, opened once.
struct LoadedScan {
  ScanRecord record;
  SectorDevice medium;
  std::unique_ptr<IFileRecoveryParse> engine;
};

// Why a scan or a load did not give a scan to browse.
enum class ScanProblem {
  kNone,
  kCannotOpen,      // the medium could not be opened
  kNoFileSystem,    // deleted recovery found no file system it knows
  kCannotRecord,    // the scan folder could not be made or written
  kScanFailed,      // the engine failed
  kNotScanned,      // no scan of this medium
  kMediumChanged,   // the medium changed since its scans: they are stale
  kCannotLoadLogs,  // the logs could not be read
};

struct ScanOutcome {
  ResultCode result = result::kSuccess;  // 0, ResultCancelled, or the error
  bool resumed = false;                  // an earlier scan was gone on with
  ScanProblem problem = ScanProblem::kNone;
  std::string message;  // for the user, in plain English, when something went wrong
  LoadedScan scan;      // the scan (also after a cancel: what was found is kept)
};

// Scans one area: opens its medium once, claims a scan folder, selects and attaches the
// engine, runs it, and records the scan in the catalogue when it ends, fails or is stopped.
ScanOutcome RunScan(ScanCatalogue& catalogue, const ScanRequest& request,
                    const ScanProgressSink& progress,
                    const MediumOpener& opener = PlatformMediumOpener());

// The scans of an area in the catalogue, newest first, with how the medium stands against
// each (areas of other media are left out).
struct ScanOfArea {
  ScanRecord record;
  MediumMatch match = MediumMatch::kSame;
};
std::vector<ScanOfArea> FindScansOfArea(const ScanCatalogue& catalogue, const ScanArea& area,
                                        const platform::SystemRoots& roots = platform::SystemRoots{});

// Loads a scan of the area for browsing: scan folder `number` when given, else the newest
// finished or stopped scan. A scan whose medium changed since is never loaded
// (kMediumChanged), nor a scan of another medium (kNotScanned).
ScanOutcome LoadScan(const ScanCatalogue& catalogue, const ScanArea& area,
                     std::optional<std::uint64_t> number,
                     const platform::SystemRoots& roots = platform::SystemRoots{},
                     const MediumOpener& opener = PlatformMediumOpener());

// Loads the scan whose record is given, without looking at the medium's identity.
ScanOutcome LoadRecordedScan(const ScanCatalogue& catalogue, const ScanRecord& record,
                             const MediumOpener& opener = PlatformMediumOpener());

}  // namespace keldrive
