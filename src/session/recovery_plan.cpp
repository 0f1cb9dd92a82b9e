#include "session/recovery_plan.h"

#include <map>

#include "disk/medium_queries.h"
#include "engine/file_category.h"
#include "engine/recovery_target.h"
#include "engine/unreadable_data.h"
#include "platform/file_replace.h"
#include "platform/folder_tree.h"
#include "platform/path_info.h"
#include "platform/same_storage.h"

namespace keldrive {
namespace {

// The target below the chosen folder for a path in the scan, each part made safe.
std::string KeptPath(std::string target, const std::string& sourcePath) {
  std::size_t start = 0;
  while (start < sourcePath.size()) {
    std::size_t end = sourcePath.find('/', start);
    if (end == std::string::npos) end = sourcePath.size();
    if (end > start) target = JoinPath(target, SafeFileName(sourcePath.substr(start, end - start)));
    start = end + 1;
  }
  return target;
}

// Relays the engine's per-file progress and collects how each file ended.
struct RecoveryRelay {
  const RecoveryProgressSink* sink = nullptr;
  RecoveryProgress progress;
  std::map<std::string, ResultCode> outcome;  // target path → result, in path order
  std::vector<std::string> order;             // target paths as they were first told
  bool cancelled = false;
};

std::int32_t RelayRecovery(void* context, std::int32_t percent, std::int32_t, std::int32_t error,
                           const std::string& target) {
  auto* relay = static_cast<RecoveryRelay*>(context);
  const auto [it, added] = relay->outcome.try_emplace(target, error);
  if (added) relay->order.push_back(target);
  if (error != result::kSuccess || it->second == result::kSuccess) it->second = error;
  relay->progress.percent = percent;
  relay->progress.target = target;
  if (relay->sink != nullptr && *relay->sink &&
      (*relay->sink)(relay->progress) == ResultCancelled) {
    relay->cancelled = true;
    return ResultCancelled;
  }
  // An error ends the file; it is reported with the others at the end.
  return error;
}

// A file not written whole keeps what was written under a name that says so,
// "name (incomplete).ext", so that it never passes for a recovered file; one that holds
// nothing is removed. Returns where the file is now, empty when removed.
std::string MarkIncomplete(const std::string& target, std::uint64_t bytes) {
  if (bytes == 0) {
    platform::RemoveFile(target);
    return {};
  }
  const std::size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string marked =
      FreeTargetPath(folder + FitName(target.substr(folder.size()), kIncompleteMark));
  return platform::ReplaceFile(target, marked) == result::kSuccess ? marked : target;
}

}  // namespace

TargetCheck CheckRecoveryTarget(const std::string& folder, const std::vector<ScanArea>& media,
                                const platform::SystemRoots& roots) {
  TargetCheck check;
  for (const ScanArea& area : media) {
    const std::string& medium = area.source.path;
    if (platform::FolderIsOnMedium(folder, medium, roots) ||
        (!area.devicePath.empty() && platform::FolderIsOnMedium(folder, area.devicePath, roots))) {
      check.problem = TargetProblem::kOnScannedMedium;
      check.medium = medium;
      check.message = "lies on " + medium +
                      ", the medium being recovered; writing there would overwrite the deleted "
                      "files. Choose a folder on another disk";
      return check;
    }
  }
  if (const ResultCode rc = platform::CreateFolderTree(folder); rc != result::kSuccess) {
    check.problem = TargetProblem::kCannotCreate;
    check.code = rc;
    check.message = "cannot create the folder: " + DescribeResult(rc);
  }
  return check;
}

std::vector<RecoveryJob> PlanRecovery(const std::vector<RecoveryItem>& items,
                                      const std::vector<const ScanRecord*>& scans,
                                      const RecoveryOptions& options) {
  std::vector<RecoveryJob> jobs;
  jobs.reserve(items.size());
  for (const RecoveryItem& item : items) {
    std::string base = options.target;
    if (options.areaFolders && item.scan < scans.size()) {
      base = JoinPath(base, AreaFolderName(scans[item.scan]->area));
    }
    RecoveryJob job{item, {}, 0};
    if (item.record.isFolder != 0) {
      job.target = options.keepPaths ? KeptPath(base, item.sourcePath)
                                     : JoinPath(base, SafeFileName(item.record.Name()));
      // The engine lists a folder at the depth it counts from the target path.
      job.depthOffset =
          static_cast<std::int32_t>(CountPathSeparators(job.target)) - (item.depth + 1);
    } else if (options.keepPaths) {
      job.target = KeptPath(base, item.sourcePath);
    } else {
      job.target = JoinPath(JoinPath(base, CategoryFolderName(CategoryOfName(item.record.Name()))),
                            SafeFileName(item.record.Name()));
    }
    if (!IsInsideFolder(job.target, options.target)) job.refused = result::kInvalidName;
    jobs.push_back(std::move(job));
  }
  return jobs;
}

RecoveryResult RunRecovery(const std::vector<RecoveryJob>& jobs,
                           const std::vector<LoadedScan*>& scans,
                           const RecoveryProgressSink& progress) {
  RecoveryResult result;
  RecoveryRelay relay;
  relay.sink = &progress;
  const UnreadableDataLog unreadableData;
  relay.progress.jobs = jobs.size();
  std::map<std::string, std::pair<std::size_t, FoundFile>> sources;  // by target
  for (std::size_t i = 0; i < jobs.size() && !relay.cancelled; ++i) {
    const RecoveryJob& job = jobs[i];
    relay.progress.job = i;
    if (job.item.scan >= scans.size() || scans[job.item.scan] == nullptr ||
        !scans[job.item.scan]->engine) {
      continue;
    }
    IFileRecoveryParse& engine = *scans[job.item.scan]->engine;
    std::string target = job.target;
    if (job.refused != result::kSuccess) {
      if (relay.outcome.try_emplace(target, job.refused).second) relay.order.push_back(target);
      continue;
    }
    // A file gets a free name; a folder merges into one of its name, its files made free.
    if (job.item.record.isFolder == 0 &&
        platform::QueryPathKind(target) != platform::PathKind::kMissing) {
      target = FreeTargetPath(target);
    }
    engine.SetProgressCallbacks(nullptr, RelayRecovery, &relay, 100);
    const ResultCode code = engine.RecoverItem(job.item.record, target, job.depthOffset);
    engine.SetProgressCallbacks(nullptr, nullptr, nullptr, 100);
    if (job.item.record.isFolder == 0) {
      sources.try_emplace(target, job.item.scan, job.item.record);
      const auto [it, added] = relay.outcome.try_emplace(target, code);
      if (added) relay.order.push_back(target);
      if (code != result::kSuccess && it->second == result::kSuccess) it->second = code;
    }
    if (code == ResultCancelled) relay.cancelled = true;
  }
  result.cancelled = relay.cancelled;
  for (const std::string& target : relay.order) {
    FileOutcome file;
    file.target = target;
    if (const auto source = sources.find(target); source != sources.end()) {
      file.scan = source->second.first;
      file.record = source->second.second;
    }
    file.code = relay.outcome[target];
    file.unreadable = unreadableData.Of(target);
    if (platform::QueryPathKind(target) == platform::PathKind::kRegularFile) {
      GetFileSize(target, file.bytes);
      if (file.code != result::kSuccess) file.incompleteAs = MarkIncomplete(target, file.bytes);
    }
    if (file.code == result::kSuccess) {
      ++result.recovered;
      result.bytes += file.bytes;
    } else {
      ++result.failed;
    }
    result.files.push_back(std::move(file));
  }
  return result;
}

std::string DescribeRecoveryFailure(const FileOutcome& file) {
  std::string text = DescribeRecoveryFailure(file.code);
  if (!file.unreadable.empty()) text += " (" + DescribeStretches(file.unreadable) + ")";
  if (!file.incompleteAs.empty()) {
    text += "; what could be recovered is kept as " + file.incompleteAs;
  } else if (file.code != ResultCancelled && file.code != result::kInvalidName) {
    text += "; nothing of it could be written";
  }
  return text;
}

std::string DescribeRecoveryFailure(ResultCode code) {
  if (code == result::kReadFault) {
    return "its data ends before its size: the chain of its clusters is gone, or they may "
           "have been reused";
  }
  if (code == result::kDataError) {
    return "sectors of the medium holding its data could not be read; they are zeros in the file";
  }
  if (code == result::kWriteFault) return "its cluster size is not believable";
  if (code < 0 && code != ResultCancelled) {
    return "its file record is damaged or no longer describes it";
  }
  return DescribeResult(code);
}

}  // namespace keldrive
