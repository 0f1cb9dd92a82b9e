#include <algorithm>
#include <map>
#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/progress_bar.h"
#include "cli/scan_session.h"
#include "cli/type_selection.h"
#include "disk/medium_queries.h"
#include "engine/file_category.h"
#include "engine/recovery_target.h"
#include "platform/folder_tree.h"
#include "platform/interrupt.h"
#include "platform/path_info.h"
#include "platform/same_storage.h"
#include "platform/terminal.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive recover MEDIUM --to DIR [--all | --type LIST | --category LIST |\n"
    "                        --other | PATH...] [--keep-paths] [--scan N] [--json]\n"
    "\n"
    "Copies found files of MEDIUM into DIR, which must lie on another disk. Uses the newest\n"
    "scan of MEDIUM, and scans for deleted files first when there is none. Files go to\n"
    "DIR/<category>/<name>, with (1), (2) ... added when a name is taken.\n"
    "\n"
    "  --to DIR         the folder to write to (created when missing)\n"
    "  --all            every file found\n"
    "  --type LIST      files with these extensions, such as jpg,png\n"
    "  --category LIST  photo, audio, video, document, archive, others\n"
    "  --other          files whose type is in no category\n"
    "  PATH...          files or folders by their path in the scan (see keldrive ls)\n"
    "  --keep-paths     keep the folder tree: DIR/<folders>/<name>\n"
    "  --scan N         use scan folder N instead of the newest scan\n"
    "  --json           print the outcome as JSON\n"
    "\n"
    "Exit code 1 when any file could not be recovered in full.\n";

// How each written file ended, told by the engine's progress callback.
struct RecoverySession {
  explicit RecoverySession(ProgressBar progress) : bar(std::move(progress)) {}
  ProgressBar bar;
  std::size_t index = 0;
  std::size_t total = 0;
  std::map<std::string, ResultCode> outcome;  // target path → result
  bool cancelled = false;
};

std::int32_t OnRecoverProgress(void* context, std::int32_t percent, std::int32_t,
                               std::int32_t error, const std::string& target) {
  auto* session = static_cast<RecoverySession*>(context);
  if (platform::InterruptRequested()) {
    session->cancelled = true;
    return ResultCancelled;
  }
  auto& outcome = session->outcome[target];
  if (error != result::kSuccess || outcome == result::kSuccess) outcome = error;
  const std::size_t slash = target.find_last_of('/');
  session->bar.Update(session->total == 0
                          ? -1.0
                          : (static_cast<double>(session->index) + percent / 100.0) /
                                static_cast<double>(session->total),
                      std::to_string(session->index + 1) + "/" + std::to_string(session->total) +
                          " " + target.substr(slash + 1));
  // An error ends the file; it is reported with the others at the end.
  return error;
}

std::string FailureText(ResultCode code) {
  if (code == result::kReadFault) {
    return "not all of its data could be read (its clusters may have been reused)";
  }
  if (code == result::kWriteFault) return "its cluster size is not believable";
  if (code < 0 && code != ResultCancelled) {
    return "its file record is damaged or no longer describes it";
  }
  return DescribeResult(code);
}

struct Job {
  FoundFile record;
  std::string sourcePath;  // its path in the scan
  std::string target;
  std::int32_t depthOffset = 0;
};

// DIR followed by the path in the scan, every part made safe.
std::string KeptPath(const std::string& dir, const std::string& sourcePath) {
  std::string target = dir;
  std::size_t start = 0;
  while (start < sourcePath.size()) {
    std::size_t end = sourcePath.find('/', start);
    if (end == std::string::npos) end = sourcePath.size();
    if (end > start) target = JoinPath(target, SafeFileName(sourcePath.substr(start, end - start)));
    start = end + 1;
  }
  return target;
}

int Run(const Arguments& arguments, Context& context) {
  const auto& words = arguments.positional;
  std::optional<std::uint64_t> number;
  std::string error;
  const auto dirArgument = arguments.Value("--to");
  const bool byType = arguments.Has("--all") || HasTypeSelection(arguments);
  const auto patterns = PatternsFromArguments(arguments, error);
  if (words.empty() || !dirArgument || dirArgument->empty() ||
      !ParseScanNumber(arguments, number) || !patterns || (byType == (words.size() > 1))) {
    ReportError(context, "recover",
                !error.empty() ? error
                               : "needs MEDIUM --to DIR and either --all, --type, --category, "
                                 "--other or paths (see keldrive recover --help)");
    return kExitUsage;
  }
  const std::string& argument = words[0];
  LoadedScan scan;
  std::string message;
  ResultCode rc = OpenScan(context, argument, number, scan, message);
  if (rc == result::kFileNotFound && !number) {
    context.err << "keldrive: " << argument << ": not scanned yet; scanning for deleted files\n";
    rc = RunDeletedScan(context, argument, scan, message);
  }
  if (rc != result::kSuccess) {
    ReportError(context, argument, message);
    return kExitFailure;
  }

  std::string dir = *dirArgument;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (scan.medium.kind != MediumChoice::Kind::kImage ||
      platform::QueryPathKind(scan.medium.path) == platform::PathKind::kBlockDevice) {
    if (platform::FolderIsOnDevice(dir, scan.medium.path, context.roots)) {
      ReportError(context, dir,
                  "lies on the medium being recovered; writing there would overwrite the "
                  "deleted files. Choose a folder on another disk");
      return kExitFailure;
    }
  }
  if (const ResultCode made = platform::CreateFolderTree(dir); made != result::kSuccess) {
    ReportError(context, dir, "cannot create the folder: " + DescribeResult(made));
    return kExitFailure;
  }
  std::string resolvedDir;
  platform::ResolvePath(dir, resolvedDir);
  if (!resolvedDir.empty()) dir = resolvedDir;

  IFileRecoveryParse& engine = *scan.engine;
  const bool keepPaths = arguments.Has("--keep-paths");
  std::vector<Job> jobs;
  const auto addFile = [&](const FoundFile& file, const std::string& sourcePath) {
    Job job{file, sourcePath, {}, 0};
    job.target = keepPaths
                     ? KeptPath(dir, sourcePath)
                     : JoinPath(JoinPath(dir, CategoryFolderName(CategoryOfName(file.Name()))),
                                SafeFileName(file.Name()));
    jobs.push_back(std::move(job));
  };
  if (byType) {
    std::vector<FoundFile> files;
    engine.ListFilesByType(*patterns, files);
    for (const FoundFile& file : files) {
      std::string parent;
      engine.GetParentPath(file, parent);
      addFile(file, parent + std::string(file.Name()));
    }
  } else {
    for (std::size_t i = 1; i < words.size(); ++i) {
      ScanItem item;
      if (FindInScan(engine, words[i], item) != result::kSuccess || item.isRoot) {
        ReportError(context, words[i], "not found in the scan (see keldrive ls " + argument + ")");
        return kExitFailure;
      }
      if (item.record.isFolder == 0) {
        addFile(item.record, words[i]);
        continue;
      }
      Job job{item.record, words[i], {}, 0};
      job.target = keepPaths ? KeptPath(dir, words[i])
                             : FreeTargetPath(JoinPath(dir, SafeFileName(item.record.Name())));
      // The engine lists a folder at the depth it counts from the target path.
      job.depthOffset =
          static_cast<std::int32_t>(CountPathSeparators(job.target)) - (item.depth + 1);
      jobs.push_back(std::move(job));
    }
  }

  platform::InstallInterruptHandler();
  RecoverySession session(
      ProgressBar(context.err, context.progressToTerminal, platform::TerminalColumns()));
  session.total = jobs.size();
  engine.SetProgressCallbacks(nullptr, OnRecoverProgress, &session, 100);
  for (Job& job : jobs) {
    if (job.record.isFolder == 0) {
      if (!keepPaths || platform::QueryPathKind(job.target) != platform::PathKind::kMissing) {
        job.target = FreeTargetPath(job.target);
      }
    }
    if (!IsInsideFolder(job.target, dir)) {
      session.outcome[job.target] = result::kInvalidName;
      continue;
    }
    const ResultCode itemResult = engine.RecoverItem(job.record, job.target, job.depthOffset);
    if (job.record.isFolder == 0 && itemResult != result::kSuccess &&
        session.outcome[job.target] == result::kSuccess) {
      session.outcome[job.target] = itemResult;
    }
    ++session.index;
    if (itemResult == ResultCancelled || session.cancelled) break;
  }
  session.bar.Finish();
  engine.SetProgressCallbacks(nullptr, nullptr, nullptr, 100);

  std::uint64_t recovered = 0, failed = 0, bytes = 0;
  for (const auto& [target, outcome] : session.outcome) {
    if (outcome == result::kSuccess) {
      ++recovered;
      std::uint64_t size = 0;
      if (platform::QueryPathKind(target) == platform::PathKind::kRegularFile) {
        GetFileSize(target, size);
      }
      bytes += size;
    } else {
      ++failed;
    }
  }
  if (arguments.Has("--json")) {
    JsonWriter json(context.out);
    json.BeginObject();
    json.Field("medium", argument);
    json.Field("to", dir);
    json.Field("recovered", recovered);
    json.Field("failed", failed);
    json.Field("bytes", bytes);
    json.Field("cancelled", session.cancelled);
    json.Key("files");
    json.BeginArray();
    for (const auto& [target, outcome] : session.outcome) {
      json.BeginObject();
      json.Field("target", target);
      json.Field("result", outcome);
      if (outcome != result::kSuccess) json.Field("error", FailureText(outcome));
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  } else {
    for (const auto& [target, outcome] : session.outcome) {
      if (outcome != result::kSuccess) ReportError(context, target, FailureText(outcome));
    }
    context.out << "Recovered " << recovered << (recovered == 1 ? " file (" : " files (")
                << FormatSize(static_cast<std::int64_t>(bytes)) << ") to " << dir;
    if (failed != 0) context.out << "; " << failed << " could not be recovered in full";
    context.out << ".\n";
  }
  if (session.cancelled) ReportError(context, argument, "recovery stopped");
  return failed != 0 || session.cancelled ? kExitFailure : kExitOk;
}

}  // namespace

const Command& RecoverCommand() {
  static const Command kCommand{"recover",
                                "copy found files to a folder on another disk",
                                kUsage,
                                {{"--to", true},
                                 {"--all", false},
                                 {"--type", true},
                                 {"--category", true},
                                 {"--other", false},
                                 {"--keep-paths", false},
                                 {"--scan", true},
                                 {"--json", false}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
