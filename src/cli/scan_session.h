#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/medium_argument.h"
#include "engine/recovery_engine.h"
#include "engine/scan_environment.h"

namespace keldrive::cli {

// What the command line keeps in a scan folder so that later commands find the scans of a
// medium without scanning again.
inline constexpr std::string_view kScanRecordFile = "keldrive-scan.ini";

struct ScanRecord {
  std::string medium;    // MediumIdentity of what was scanned
  std::string argument;  // the MEDIUM the user gave
  std::string mode;      // "deleted"
  std::string logName;
  bool finished = false;
  std::uint64_t found = 0;
  std::uint64_t number = 0;  // the scan folder's number
  std::string folder;        // the scan folder, ending in "/"
};

// A key that names the same medium in every run: the image's full path, or the device node
// with the first sector and length of the stretch.
std::string MediumIdentity(const MediumChoice& medium);

// The scan-log root: the context's when set, else the user's (created when missing).
ResultCode ScanLogRoot(const Context& context, std::string& root);

ResultCode WriteScanRecord(const ScanRecord& record);

// The scans of a medium recorded under `root`, newest first.
std::vector<ScanRecord> FindScans(const std::string& root, const std::string& identity);

// The environment engines of a scan folder run in.
ScanEnvironment MakeEnvironment(const std::string& scanFolder, const std::string& root);

// The engine for the medium in the mode, attached; nothing when there is none.
std::unique_ptr<IFileRecoveryParse> CreateEngine(const MediumChoice& medium, int mode,
                                                 const ScanEnvironment& environment);

// A scan of a medium, loaded from its logs for browsing and recovery.
struct LoadedScan {
  MediumChoice medium;
  ScanRecord record;
  std::unique_ptr<IFileRecoveryParse> engine;
};

// Loads the newest finished scan of the medium (or scan folder `number`). On failure
// returns a code and a message for the user.
ResultCode OpenScan(const Context& context, const std::string& argument,
                    std::optional<std::uint64_t> number, LoadedScan& out, std::string& message);

// Scans the medium in deleted-file mode, showing progress on the terminal, and records the
// scan. `quiet` leaves the progress out.
ResultCode RunDeletedScan(Context& context, const std::string& argument, LoadedScan& out,
                          std::string& message);

// A file or folder of a loaded scan found by its path ("Photos/2019/beach.jpg"); the root
// is the empty path. `depth` is the number of folders above the item, so a folder's
// children are listed with ListFolder(folder, depth + 1) (the root's with depth 0).
struct ScanItem {
  bool isRoot = true;
  FoundFile record;
  std::int32_t depth = 0;
};
ResultCode FindInScan(IFileRecoveryParse& engine, const std::string& path, ScanItem& out);

// The children of a scan item (nothing for a file).
ResultCode ListItem(IFileRecoveryParse& engine, const ScanItem& item,
                    std::vector<FoundFile>& children);

// "--scan N" when given; nothing, or false on a malformed value.
bool ParseScanNumber(const Arguments& arguments, std::optional<std::uint64_t>& number);

}  // namespace keldrive::cli
