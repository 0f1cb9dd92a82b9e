#include <algorithm>
#include <sstream>
#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/progress_bar.h"
#include "cli/report_output.h"
#include "cli/scan_session.h"
#include "cli/text_table.h"
#include "cli/type_selection.h"
#include "platform/interrupt.h"
#include "platform/path_info.h"
#include "platform/terminal.h"
#include "session/recovery_plan.h"
#include "session/recovery_report.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive recover MEDIUM --to DIR [--all | --type LIST | --category LIST |\n"
    "                        --other | PATH...] [--keep-paths] [--scan N] [--volume N]\n"
    "                        [--report FILE] [--json]\n"
    "\n"
    "Copies found files of MEDIUM into DIR, which must lie on another disk. Uses the newest\n"
    "scan of MEDIUM, and scans for deleted files first when there is none. Files go to\n"
    "DIR/<category>/<name>, with (1), (2) ... added when a name is taken. The files of a\n"
    "disk or image of several volumes go under DIR/volume1, DIR/volume2, ...\n"
    "\n"
    "  --to DIR         the folder to write to (created when missing)\n"
    "  --all            every file found\n"
    "  --type LIST      files with these extensions, such as jpg,png\n"
    "  --category LIST  photo, audio, video, document, archive, others\n"
    "  --other          files whose type is in no category\n"
    "  PATH...          files or folders by their path in the scan (see keldrive ls)\n"
    "  --keep-paths     keep the folder tree: DIR/<folders>/<name>\n"
    "  --scan N         use scan folder N instead of the newest scan\n"
    "  --volume N       only volume N of the disk or image\n"
    "  --report FILE    record each file written, its sha256 and how it ended, as DFXML\n"
    "                   (FILE.xml) or CSV (FILE.csv)\n"
    "  --json           print the outcome as JSON\n"
    "\n"
    "Exit code 1 when any file could not be recovered in full.\n";

bool WriteReport(Context& context, const std::string& file, const ScanSetBrowser& browser,
                 const RecoveryResult& outcome) {
  std::ostringstream text;
  const auto writer = MakeReportWriter(*ReportFormatOfName(file), text, true);
  std::string message;
  if (WriteRecoveryReport(browser, outcome, *writer, message) != result::kSuccess) {
    ReportError(context, file, message);
    return false;
  }
  return DeliverReport(context, file, text.str());
}

int Run(const Arguments& arguments, Context& context) {
  const auto& words = arguments.positional;
  std::optional<std::uint64_t> number;
  std::optional<int> volume;
  std::string error;
  const auto dirArgument = arguments.Value("--to");
  const bool byType = arguments.Has("--all") || HasTypeSelection(arguments);
  const auto patterns = PatternsFromArguments(arguments, error);
  if (words.empty() || !dirArgument || dirArgument->empty() ||
      !ParseScanNumber(arguments, number) || !ParseVolumeNumber(arguments, volume) || !patterns ||
      (byType == (words.size() > 1))) {
    ReportError(context, "recover",
                !error.empty() ? error
                               : "needs MEDIUM --to DIR and either --all, --type, --category, "
                                 "--other or paths (see keldrive recover --help)");
    return kExitUsage;
  }
  const auto reportFile = arguments.Value("--report");
  if (reportFile && !ReportFormatOfName(*reportFile)) {
    ReportError(context, *reportFile, "a report is FILE.xml (DFXML) or FILE.csv");
    return kExitUsage;
  }
  if (reportFile && !ReportFormatAvailable(*ReportFormatOfName(*reportFile))) {
    ReportError(context, *reportFile, kDfxmlUnavailable);
    return kExitUsage;
  }
  const std::string& argument = words[0];
  ScanSet scans;
  if (!OpenMediumScans(context, argument, volume, number, !number, scans)) return kExitFailure;

  std::string dir = *dirArgument;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::vector<ScanArea> media;
  for (const LoadedScan* scan : scans.Pointers()) media.push_back(scan->record.area);
  if (const TargetCheck check = CheckRecoveryTarget(dir, media, context.roots);
      check.problem != TargetProblem::kNone) {
    ReportError(context, dir, check.message);
    return kExitFailure;
  }
  std::string resolvedDir;
  platform::ResolvePath(dir, resolvedDir);
  if (!resolvedDir.empty()) dir = resolvedDir;

  const ScanSetBrowser browser = scans.Browser();
  std::vector<RecoveryItem> items;
  if (byType) {
    for (std::size_t i = 0; i < scans.scans.size(); ++i) {
      IFileRecoveryParse& engine = *scans.scans[i]->engine;
      std::vector<FoundFile> files;
      engine.ListFilesByType(*patterns, files);
      for (FoundFile& file : files) {
        std::string parent;
        engine.GetParentPath(file, parent);
        items.push_back({i, std::move(file), {}, 0});
        items.back().sourcePath = parent + std::string(items.back().record.Name());
      }
    }
  } else {
    for (std::size_t i = 1; i < words.size(); ++i) {
      ScanItem item;
      if (browser.Find(words[i], item) != result::kSuccess || item.isRoot) {
        ReportError(context, words[i], "not found in the scan (see keldrive ls " + argument + ")");
        return kExitFailure;
      }
      if (item.isAreaRoot) {
        // A whole volume of the set: everything at its top.
        std::vector<ScanItem> children;
        browser.List(item, children);
        for (const ScanItem& child : children) {
          items.push_back(
              {child.scan, child.record, std::string(child.record.Name()), child.depth});
        }
        continue;
      }
      // The path inside its own scan, without the volume folder.
      std::string inScan = words[i];
      if (browser.SeveralScans())
        inScan = inScan.substr(std::min(inScan.find('/') + 1, inScan.size()));
      items.push_back({item.scan, item.record, inScan, item.depth});
    }
  }
  RecoveryOptions options;
  options.target = dir;
  options.keepPaths = arguments.Has("--keep-paths");
  options.areaFolders = browser.SeveralScans();
  std::vector<const ScanRecord*> records;
  for (const LoadedScan* scan : scans.Pointers()) records.push_back(&scan->record);
  const std::vector<RecoveryJob> jobs = PlanRecovery(items, records, options);

  platform::InstallInterruptHandler();
  ProgressBar bar(context.err, context.progressToTerminal, platform::TerminalColumns());
  const RecoveryResult outcome =
      RunRecovery(jobs, scans.Pointers(), [&](const RecoveryProgress& progress) {
        const std::size_t slash = progress.target.find_last_of('/');
        bar.Update(progress.jobs == 0
                       ? -1.0
                       : (static_cast<double>(progress.job) + progress.percent / 100.0) /
                             static_cast<double>(progress.jobs),
                   std::to_string(progress.job + 1) + "/" + std::to_string(progress.jobs) + " " +
                       TerminalSafe(progress.target.substr(slash + 1)));
        return platform::InterruptRequested() ? ResultCancelled : result::kSuccess;
      });
  bar.Finish();

  if (reportFile && !WriteReport(context, *reportFile, browser, outcome)) return kExitFailure;

  if (arguments.Has("--json")) {
    Json json;
    json["medium"] = argument;
    json["to"] = platform::NativeSeparators(dir);
    json["recovered"] = outcome.recovered;
    json["failed"] = outcome.failed;
    json["bytes"] = outcome.bytes;
    json["cancelled"] = outcome.cancelled;
    json["files"] = Json::array();
    for (const FileOutcome& file : outcome.files) {
      Json row;
      row["target"] = platform::NativeSeparators(file.target);
      row["result"] = file.code;
      if (file.code != result::kSuccess) {
        row["error"] = DescribeRecoveryFailure(file.code);
        row["incomplete"] = !file.incompleteAs.empty();
        if (!file.incompleteAs.empty())
          row["keptAs"] = platform::NativeSeparators(file.incompleteAs);
        row["unreadable"] = Json::array();
        for (const UnreadableStretch& stretch : file.unreadable) {
          row["unreadable"].push_back({{"offset", stretch.offset}, {"length", stretch.length}});
        }
      }
      json["files"].push_back(std::move(row));
    }
    WriteJson(context.out, json);
  } else {
    for (const FileOutcome& file : outcome.files) {
      if (file.code != result::kSuccess) {
        ReportError(context, platform::NativeSeparators(file.target),
                    DescribeRecoveryFailure(file));
      }
    }
    context.out << "Recovered " << outcome.recovered
                << (outcome.recovered == 1 ? " file (" : " files (")
                << FormatSize(static_cast<std::int64_t>(outcome.bytes & INT64_MAX)) << ") to "
                << platform::NativeSeparators(dir);
    if (outcome.failed != 0) {
      std::uint64_t incomplete = 0;
      for (const FileOutcome& file : outcome.files)
        if (!file.incompleteAs.empty()) ++incomplete;
      context.out << "; " << outcome.failed << " could not be recovered in full";
      if (incomplete != 0) {
        context.out << " (" << incomplete << " kept in part, marked \"" << kIncompleteMark.substr(1)
                    << "\")";
      }
    }
    context.out << ".\n";
  }
  if (outcome.cancelled) ReportError(context, argument, "recovery stopped");
  return outcome.failed != 0 || outcome.cancelled ? kExitFailure : kExitOk;
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
                                 {"--volume", true},
                                 {"--report", true},
                                 {"--json", false}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
