#include "session/scan_runner.h"

#include <algorithm>

#include "engine/log_backed_engine.h"
#include "platform/clock.h"
#include "session/engine_environment.h"
#include "session/engine_selection.h"
#include "session/professional_recovery.h"

namespace keldrive {
namespace {

struct ProgressRelay {
  const ScanProgressSink* sink = nullptr;
  ScanProgress last;
};

// The engines' progress callback, turned into the one progress both front ends show: the
// bar stands at step × weight / 100.
std::int32_t RelayProgress(void* context, std::int32_t step, std::int32_t weight,
                           std::int32_t remaining, std::uint64_t done, std::uint64_t total,
                           std::uint64_t found, std::int32_t) {
  auto* relay = static_cast<ProgressRelay*>(context);
  ScanProgress& progress = relay->last;
  const std::int64_t percent = static_cast<std::int64_t>(step) * weight / 100;
  progress.percent = static_cast<std::int32_t>(std::clamp<std::int64_t>(percent, 0, 100));
  progress.sectorsDone = done;
  progress.sectorsTotal = total;
  progress.found = found;
  progress.remainingSeconds = remaining;
  if (relay->sink == nullptr || !*relay->sink) return result::kSuccess;
  return (*relay->sink)(progress);
}

std::string OpenFailureText(const ScanArea& area, ResultCode rc) {
  return "cannot open " + area.source.path + ": " + DescribeResult(rc);
}

std::string NoFileSystemText(const ScanArea& area) {
  if (area.kind == ScanArea::Kind::kGap) {
    return "this unallocated stretch holds no file system, so it has no deleted files to list; "
           "a deep scan (--mode deep) looks for lost files and partitions in it";
  }
  if (area.kind == ScanArea::Kind::kWhole && !area.source.IsImage()) {
    return "no FAT or NTFS file system at the start of this disk; scan one of its partitions "
           "(see keldrive list), or run a deep scan (--mode deep)";
  }
  return "no FAT or NTFS file system found here, so deleted files cannot be listed; a deep "
         "scan (--mode deep) carves lost files by their contents";
}

// Engine selection and attach for a scan folder, without scanning.
std::unique_ptr<IFileRecoveryParse> EngineFor(SectorDevice& medium, const ScanRecord& record,
                                              const std::string& root) {
  return SelectEngine(medium, record.area, record.mode, MakeScanEnvironment(record.folder, root));
}

}  // namespace

ScanOutcome RunScan(ScanCatalogue& catalogue, const ScanRequest& request,
                    const ScanProgressSink& progress, const MediumOpener& opener) {
  ScanOutcome outcome;
  LoadedScan& scan = outcome.scan;
  ScanRecord& record = scan.record;
  record.mode = request.mode;
  record.whole = request.whole;
  record.argument = request.argument;
  record.area = request.area;
  record.set = request.set;

  if (const ResultCode rc = OpenAreaMedium(request.area.source, scan.medium, opener);
      rc != result::kSuccess) {
    outcome.result = rc;
    outcome.problem = ScanProblem::kCannotOpen;
    outcome.message = OpenFailureText(request.area, rc);
    return outcome;
  }
  AreaIdentity identity;
  QueryAreaIdentity(request.area, identity);
  record.identity = identity.identity;
  record.freeBytes = identity.freeBytes;
  record.started = platform::UtcFileTimeNow();

  // An earlier professional scan of the area that stopped part-way: go on with it in its
  // folder, or forget it.
  ScanHistoryEntry earlierEntry;
  ScanRecord earlier;
  bool resumable = IsProfessional(request.mode) &&
                   catalogue.FindResumable(request.area, request.whole, earlierEntry, earlier);
  if (resumable && earlierEntry.resume.extentLength == 0) {
    // It stopped before its walk reached any free space, perhaps inside the quick pass,
    // whose log is then cut short: nothing is worth carrying on, so it starts again.
    catalogue.Forget(earlier.folder);
    resumable = false;
  }
  if (resumable) {
    const bool resume = request.resume == ResumeChoice::kResume ||
                        (request.resume == ResumeChoice::kAsk &&
                         (!request.askResume || request.askResume(earlier)));
    if (resume) {
      outcome.resumed = true;
      record.number = earlier.number;
      record.folder = earlier.folder;
      record.set = earlier.set;
      record.started = earlier.started;
      record.state = ScanState::kRunning;
      catalogue.SaveRecord(record);
    } else {
      catalogue.Forget(earlier.folder);
    }
  }
  if (!outcome.resumed) {
    if (const ResultCode rc = catalogue.BeginScan(record); rc != result::kSuccess) {
      outcome.result = rc;
      outcome.problem = ScanProblem::kCannotRecord;
      outcome.message =
          "cannot make a scan folder in " + catalogue.Root() + ": " + DescribeResult(rc);
      return outcome;
    }
  }
  scan.engine = EngineFor(scan.medium, record, catalogue.Root());
  if (!scan.engine) {
    // Nothing was scanned: the folder would only hold an empty record.
    catalogue.Forget(record.folder);
    outcome.result = result::kNotSupported;
    outcome.problem = ScanProblem::kNoFileSystem;
    outcome.message = NoFileSystemText(request.area);
    return outcome;
  }

  auto* professional = dynamic_cast<CProfessionalRecovery*>(scan.engine.get());
  if (professional != nullptr) {
    professional->SetWholeArea(request.whole);
    if (outcome.resumed) professional->SetResumePoint(earlierEntry.resume);
    // Every so often the history learns how far the walk got, so that a crash loses little.
    professional->SetCheckpoint([&catalogue, &record](const ScanResumePoint& point) {
      catalogue.RecordProgress(record, point);
    });
  }

  ProgressRelay relay{&progress, {}};
  scan.engine->SetProgressCallbacks(RelayProgress, nullptr, &relay, 100);
  const ResultCode rc = scan.engine->Scan("");
  scan.engine->SetProgressCallbacks(nullptr, nullptr, nullptr, 100);
  if (professional != nullptr) professional->SetCheckpoint(nullptr);

  record.logs = scan.engine->LogNames();
  record.found = scan.engine->GetFoundCount();
  record.ended = platform::UtcFileTimeNow();
  record.state = rc == result::kSuccess  ? ScanState::kFinished
                 : rc == ResultCancelled ? ScanState::kStopped
                                         : ScanState::kFailed;
  ScanResumePoint resume;
  // Every engine reads through the one medium opened here, which remembers what failed.
  record.unreadableSectors = scan.medium.unreadable->Count();
  if (const auto* logBacked = dynamic_cast<const LogBackedEngine*>(scan.engine.get())) {
    for (const std::string& note : logBacked->DamageNotes()) {
      record.notes += (record.notes.empty() ? "" : "\n") + note;
    }
  }
  if (!scan.medium.unreadable->Empty()) {
    record.notes += (record.notes.empty() ? "" : "\n") +
                    DescribeUnreadable(scan.medium.unreadable->Positions(),
                                       scan.medium.unreadable->MediumName()) +
                    " and were passed over";
  }
  record.damaged = !record.notes.empty();
  if (professional != nullptr) {
    resume = professional->ResumePoint();
    record.unreadableSectors =
        std::max(record.unreadableSectors, professional->UnreadableSectors());
  } else {
    resume.extentLength = record.area.sectors.Count();
    // A quick engine walks the file system, not the sectors: a finished walk covered it.
    resume.sectorsDone = rc == result::kSuccess && relay.last.sectorsTotal == 0
                             ? record.area.sectors.Count()
                             : relay.last.sectorsDone;
  }
  resume.filesFound = record.found;
  catalogue.SaveRecord(record);
  catalogue.RecordProgress(record, resume);

  outcome.result = rc;
  if (rc != result::kSuccess && rc != ResultCancelled) {
    outcome.problem = ScanProblem::kScanFailed;
    outcome.message = "the scan failed: " + DescribeResult(rc);
  }
  return outcome;
}

std::vector<ScanOfArea> FindScansOfArea(const ScanCatalogue& catalogue, const ScanArea& area,
                                        const platform::SystemRoots& roots) {
  std::vector<ScanOfArea> found;
  AreaIdentity now;
  const bool known = QueryAreaIdentity(area, now, roots);
  for (ScanRecord& record : catalogue.Scans()) {
    MediumMatch match = CompareMedium(record, area, now);
    if (match == MediumMatch::kOther) continue;
    if (!known) match = MediumMatch::kChanged;  // gone, or unreadable: nothing to trust
    found.push_back({std::move(record), match});
  }
  return found;
}

ScanOutcome LoadScan(const ScanCatalogue& catalogue, const ScanArea& area,
                     std::optional<std::uint64_t> number, const platform::SystemRoots& roots,
                     const MediumOpener& opener) {
  ScanOutcome outcome;
  const auto scans = FindScansOfArea(catalogue, area, roots);
  const auto chosen = std::find_if(scans.begin(), scans.end(), [&](const ScanOfArea& scan) {
    if (number) return scan.record.number == *number;
    return scan.record.state == ScanState::kFinished || scan.record.state == ScanState::kStopped;
  });
  if (chosen == scans.end()) {
    outcome.result = result::kFileNotFound;
    outcome.problem = ScanProblem::kNotScanned;
    outcome.message =
        number ? "no scan " + std::to_string(*number) + " of this medium" : "not scanned yet";
    return outcome;
  }
  if (chosen->match == MediumMatch::kChanged) {
    outcome.result = result::kInvalidData;
    outcome.problem = ScanProblem::kMediumChanged;
    outcome.scan.record = chosen->record;
    outcome.message = "the medium changed since scan " + std::to_string(chosen->record.number) +
                      " (its size, time or ids differ), so that scan's findings no longer "
                      "describe it";
    return outcome;
  }
  return LoadRecordedScan(catalogue, chosen->record, opener);
}

ScanOutcome LoadRecordedScan(const ScanCatalogue& catalogue, const ScanRecord& record,
                             const MediumOpener& opener) {
  ScanOutcome outcome;
  LoadedScan& scan = outcome.scan;
  scan.record = record;
  if (const ResultCode rc = OpenAreaMedium(record.area.source, scan.medium, opener);
      rc != result::kSuccess) {
    outcome.result = rc;
    outcome.problem = ScanProblem::kCannotOpen;
    outcome.message = OpenFailureText(record.area, rc);
    return outcome;
  }
  scan.engine = EngineFor(scan.medium, record, catalogue.Root());
  if (!scan.engine) {
    outcome.result = result::kNotSupported;
    outcome.problem = ScanProblem::kNoFileSystem;
    outcome.message = NoFileSystemText(record.area);
    return outcome;
  }
  const std::string log = record.logs.empty() ? std::string() : record.logs.front();
  if (log.empty()) {
    outcome.result = result::kFileNotFound;
    outcome.problem = ScanProblem::kCannotLoadLogs;
    outcome.message =
        "scan " + std::to_string(record.number) + " left no scan log in " + record.folder;
    return outcome;
  }
  if (const ResultCode rc = scan.engine->Scan(log); rc != result::kSuccess) {
    outcome.result = rc;
    outcome.problem = ScanProblem::kCannotLoadLogs;
    outcome.message = "cannot read the scan log in " + record.folder + ": " + DescribeResult(rc);
  }
  return outcome;
}

}  // namespace keldrive
