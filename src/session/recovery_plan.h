#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/found_file.h"
#include "engine/unreadable_data.h"
#include "platform/result_code.h"
#include "platform/system_roots.h"
#include "session/scan_area.h"
#include "session/scan_runner.h"

namespace keldrive {

// Why a folder may not receive recovered files.
enum class TargetProblem {
  kNone,
  kOnScannedMedium,  // new files there would overwrite the deleted ones being recovered
  kCannotCreate,
};

struct TargetCheck {
  TargetProblem problem = TargetProblem::kNone;
  std::string medium;  // the medium the folder lies on, for kOnScannedMedium
  ResultCode code = result::kSuccess;
  std::string message;  // for the user
};

// Checks a target folder against the media of the scans whose files go there: a folder on
// any of them (its disk or partition, a loop device or FUSE mount of its image) is refused.
// The folder is made when missing.
TargetCheck CheckRecoveryTarget(const std::string& folder, const std::vector<ScanArea>& media,
                                const platform::SystemRoots& roots = platform::SystemRoots{});

// One file or folder the user chose.
struct RecoveryItem {
  std::size_t scan = 0;  // which of the loaded scans it belongs to
  FoundFile record;
  std::string sourcePath;  // its path in the scan ("DCIM/100CANON/a.jpg")
  std::int32_t depth = 0;  // folders: the folders above it in the scan
};

struct RecoveryOptions {
  std::string target;        // the folder the user chose
  bool keepPaths = false;    // target/<folders>/<name> instead of target/<category>/<name>
  bool areaFolders = false;  // files of several areas: target/<area folder>/...
};

// Where one item goes and how the engine is to walk it.
struct RecoveryJob {
  RecoveryItem item;
  std::string target;
  std::int32_t depthOffset = 0;
  // Set when the job must not run: a target that would leave the chosen folder.
  ResultCode refused = result::kSuccess;
};

// The jobs for the chosen items: files under their category folder (or their folders with
// keepPaths), names made safe; folders become folders of their own name. Names taken are
// made free ("(n)") when the job runs, as earlier jobs may take them.
std::vector<RecoveryJob> PlanRecovery(const std::vector<RecoveryItem>& items,
                                      const std::vector<const ScanRecord*>& scans,
                                      const RecoveryOptions& options);

// Put before the extension of a file not written whole: "photo (incomplete).jpg".
inline constexpr std::string_view kIncompleteMark = " (incomplete)";

// How one written file ended.
struct FileOutcome {
  std::string source;  // the path in the scan, for folders the folder's path
  std::string target;  // where it was to go
  ResultCode code = result::kSuccess;
  std::uint64_t bytes = 0;  // written to the target
  std::size_t scan = 0;     // the loaded scan it came from
  std::optional<FoundFile> record;  // its record, when the file was chosen itself
  // Where a file not written whole is kept, under the incomplete mark; empty when nothing
  // of it could be written and the empty file was removed.
  std::string incompleteAs;
  std::vector<UnreadableStretch> unreadable;  // zeros in the file where the medium failed
};

struct RecoveryProgress {
  std::size_t job = 0;  // of `jobs`
  std::size_t jobs = 0;
  std::int32_t percent = 0;  // of the current file
  std::string target;        // the current file
};
// ResultCancelled stops the recovery after the current piece.
using RecoveryProgressSink = std::function<ResultCode(const RecoveryProgress&)>;

struct RecoveryResult {
  std::vector<FileOutcome> files;  // every file written, in order
  bool cancelled = false;
  std::uint64_t recovered = 0;  // files written whole
  std::uint64_t failed = 0;
  std::uint64_t bytes = 0;  // of the files written whole
};

// Runs the jobs through the engines of their scans (`scans[i]` for item.scan == i).
RecoveryResult RunRecovery(const std::vector<RecoveryJob>& jobs,
                           const std::vector<LoadedScan*>& scans,
                           const RecoveryProgressSink& progress);

// What went wrong with one file, in words a user understands.
std::string DescribeRecoveryFailure(ResultCode code);
// The same for one file of a recovery, with where its unreadable bytes lie and where what
// was recovered of it is kept.
std::string DescribeRecoveryFailure(const FileOutcome& file);

}  // namespace keldrive
