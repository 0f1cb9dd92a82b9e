#include <array>
#include <limits>
#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/scan_session.h"
#include "cli/text_table.h"
#include "disk/checked_math.h"
#include "engine/file_category.h"
#include "platform/clock.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive scan MEDIUM [--mode deleted|formatted|deep] [--whole]\n"
    "                     [--resume | --fresh] [--volume N] [--json]\n"
    "\n"
    "Scans MEDIUM and keeps what it finds in a scan folder, so that keldrive ls, find and\n"
    "recover can use it without scanning again. MEDIUM is an image file, a disk or\n"
    "partition device (/dev/sdb1), or a number shown by keldrive list. The medium is only\n"
    "read. Ctrl+C stops the scan and keeps what was found.\n"
    "\n"
    "  --mode deleted    list deleted files of the FAT or NTFS file system (the default);\n"
    "                    a disk, or an image of a whole disk, is scanned volume by volume\n"
    "  --mode formatted  after a format: rebuild old FAT folders and NTFS file records\n"
    "                    found anywhere, and carve files by their contents\n"
    "  --mode deep       the same, for lost partitions and damaged file systems; a whole\n"
    "                    disk or disk image is scanned from its first sector to its last\n"
    "  --whole           walk every sector, also where the file system says it is in use\n"
    "  --resume          go on with an earlier deep scan of the same area that stopped\n"
    "  --fresh           start again even when an earlier deep scan could go on\n"
    "  --volume N        scan only volume N of the disk or image (see keldrive list MEDIUM)\n"
    "  --json            print the summary as JSON\n";

constexpr std::array<FileCategory, 6> kCategories{FileCategory::kPhoto,   FileCategory::kAudio,
                                                  FileCategory::kVideo,   FileCategory::kDocument,
                                                  FileCategory::kArchive, FileCategory::kOther};

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

std::vector<std::string> SplitNotes(const std::string& notes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < notes.size()) {
    std::size_t end = notes.find('\n', start);
    if (end == std::string::npos) end = notes.size();
    if (end > start) lines.push_back(notes.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string SizeText(std::uint64_t bytes) {
  return FormatSize(static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, INT64_MAX)));
}

// What one area's scan found, by category.
struct AreaSummary {
  const ScanOutcome* outcome = nullptr;
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
  std::array<std::uint64_t, kCategories.size()> categoryFiles{}, categoryBytes{};
  std::uint64_t impossibleSizes = 0;  // files whose records claim more than the area holds
};

AreaSummary Summarize(const ScanOutcome& outcome) {
  AreaSummary summary;
  summary.outcome = &outcome;
  if (!outcome.scan.engine) return summary;
  // A size beyond the whole area comes from a damaged record: it is counted apart, not
  // summed.
  const SectorRun& sectors = outcome.scan.record.area.sectors;
  const std::uint64_t areaBytes =
      CheckedMul64(sectors.Count(), outcome.scan.record.area.source.sectorBytes)
          .value_or(std::numeric_limits<std::uint64_t>::max());
  // One record at a time: a summary of millions of files holds none of them.
  outcome.scan.engine->VisitFilesByType(
      EveryCategoryPatternList() + "|*.other", [&](const FoundFile& file) {
        const auto index = static_cast<std::size_t>(CategoryOfName(file.Name()));
        ++summary.categoryFiles[index];
        ++summary.files;
        if (file.size > areaBytes) {
          ++summary.impossibleSizes;
          return;
        }
        summary.categoryBytes[index] = SaturatingAdd(summary.categoryBytes[index], file.size);
        summary.bytes = SaturatingAdd(summary.bytes, file.size);
      });
  return summary;
}

void PrintJson(std::ostream& out, const std::string& argument,
               const std::vector<AreaSummary>& areas, bool stopped) {
  const auto categories = [](const AreaSummary& area) {
    Json json = Json::object();
    for (std::size_t i = 0; i < kCategories.size(); ++i) {
      Json& category = json[std::string(CategoryFolderName(kCategories[i]))];
      category["files"] = area.categoryFiles[i];
      category["bytes"] = area.categoryBytes[i];
    }
    return json;
  };
  AreaSummary total;
  for (const AreaSummary& area : areas) {
    total.files += area.files;
    total.bytes = SaturatingAdd(total.bytes, area.bytes);
    for (std::size_t i = 0; i < kCategories.size(); ++i) {
      total.categoryFiles[i] += area.categoryFiles[i];
      total.categoryBytes[i] = SaturatingAdd(total.categoryBytes[i], area.categoryBytes[i]);
    }
  }
  const ScanRecord& first = areas.front().outcome->scan.record;
  std::uint64_t records = 0;
  for (const AreaSummary& area : areas) records += area.outcome->scan.record.found;
  Json json;
  json["medium"] = argument;
  json["scanFolder"] = first.folder;
  json["scan"] = first.number;
  json["finished"] = !stopped;
  json["records"] = records;
  json["files"] = total.files;
  json["categories"] = categories(total);
  json["volumes"] = Json::array();
  for (const AreaSummary& area : areas) {
    const ScanRecord& record = area.outcome->scan.record;
    Json volume;
    volume["volume"] = record.area.number;
    volume["kind"] = AreaKindName(record.area.kind);
    volume["fileSystem"] = record.area.fileSystem;
    volume["firstSector"] = record.area.sectors.First();
    volume["sectors"] = record.area.sectors.Count();
    volume["scanFolder"] = record.folder;
    volume["scan"] = record.number;
    volume["state"] = ScanStateName(record.state);
    volume["records"] = record.found;
    volume["files"] = area.files;
    volume["bytes"] = area.bytes;
    volume["unreadableSectors"] = record.unreadableSectors;
    volume["impossibleSizes"] = area.impossibleSizes;
    volume["damaged"] = record.damaged;
    volume["problems"] = SplitNotes(record.notes);
    if (area.outcome->result != result::kSuccess && area.outcome->result != ResultCancelled) {
      volume["error"] = area.outcome->message;
    }
    json["volumes"].push_back(std::move(volume));
  }
  WriteJson(out, json);
}

void PrintCategories(std::ostream& out, const AreaSummary& summary, const std::string& indent) {
  for (std::size_t i = 0; i < kCategories.size(); ++i) {
    if (summary.categoryFiles[i] == 0) continue;
    std::string name(CategoryFolderName(kCategories[i]));
    name.resize(10, ' ');
    out << indent << name << summary.categoryFiles[i]
        << (summary.categoryFiles[i] == 1 ? " file, " : " files, ")
        << SizeText(summary.categoryBytes[i]) << '\n';
  }
}

int Run(const Arguments& arguments, Context& context) {
  std::optional<int> volume;
  if (arguments.positional.size() != 1 || !ParseVolumeNumber(arguments, volume)) {
    ReportError(context, "scan", "needs one MEDIUM (see keldrive scan --help)");
    return kExitUsage;
  }
  ScanOptions options;
  if (const auto mode = arguments.Value("--mode")) {
    const auto parsed = ParseRecoveryMode(*mode);
    if (!parsed) {
      ReportError(context, "scan", "unknown mode '" + *mode + "' (deleted, formatted or deep)");
      return kExitUsage;
    }
    options.mode = *parsed;
  }
  options.whole = arguments.Has("--whole");
  if (arguments.Has("--resume") && arguments.Has("--fresh")) {
    ReportError(context, "scan", "--resume and --fresh exclude each other");
    return kExitUsage;
  }
  if (arguments.Has("--resume")) options.resume = ResumeChoice::kResume;
  if (arguments.Has("--fresh")) options.resume = ResumeChoice::kFresh;
  if (!IsProfessional(options.mode) && (options.whole || options.resume != ResumeChoice::kAsk)) {
    ReportError(context, "scan", "--whole, --resume and --fresh go with --mode formatted or deep");
    return kExitUsage;
  }
  const std::string& argument = arguments.positional[0];
  MediumSelection selection;
  std::string message;
  if (ResolveMediumAreas(context, argument, volume, selection, message) != result::kSuccess) {
    ReportError(context, argument, message);
    return kExitFailure;
  }
  std::string root;
  if (const ResultCode rc = ScanLogRoot(context, root); rc != result::kSuccess) {
    ReportError(context, argument, "cannot use the scan-log folder: " + DescribeResult(rc));
    return kExitFailure;
  }
  const std::vector<ScanArea> areas = AreasToScan(selection, options.mode);
  if (areas.empty()) {
    ReportError(context, argument,
                "holds no volume to scan for deleted files (see keldrive list " + argument + ")");
    return kExitFailure;
  }
  ScanCatalogue catalogue(root);
  const std::uint64_t started = platform::MonotonicMilliseconds();
  const std::vector<ScanOutcome> outcomes = RunScans(context, catalogue, argument, areas, options);
  const double seconds = static_cast<double>(platform::MonotonicMilliseconds() - started) / 1000.0;

  // A disk or image of several volumes: a volume without a file system this mode knows is
  // passed over; one that cannot be scanned at all fails the command.
  bool stopped = false, failed = false;
  std::vector<AreaSummary> summaries;
  for (const ScanOutcome& outcome : outcomes) {
    if (outcome.result == ResultCancelled) stopped = true;
    const bool skipped = outcome.problem == ScanProblem::kNoFileSystem && areas.size() > 1;
    if (outcome.result != result::kSuccess && outcome.result != ResultCancelled && !skipped) {
      failed = true;
      ReportError(
          context,
          areas.size() > 1 ? argument + " " + AreaFolderName(outcome.scan.record.area) : argument,
          outcome.message);
    }
    if (outcome.scan.engine) summaries.push_back(Summarize(outcome));
  }
  if (summaries.empty()) return kExitFailure;

  if (arguments.Has("--json")) {
    PrintJson(context.out, argument, summaries, stopped);
  } else {
    std::uint64_t files = 0, bytes = 0;
    AreaSummary total;
    for (const AreaSummary& area : summaries) {
      files += area.files;
      bytes = SaturatingAdd(bytes, area.bytes);
      for (std::size_t i = 0; i < kCategories.size(); ++i) {
        total.categoryFiles[i] += area.categoryFiles[i];
        total.categoryBytes[i] = SaturatingAdd(total.categoryBytes[i], area.categoryBytes[i]);
      }
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    const std::string what = IsProfessional(options.mode) ? " files" : " deleted files";
    context.out << (stopped ? "Stopped scanning " : "Scanned ") << argument
                << (stopped ? " after " : " in ") << time << ": " << files << what
                << (stopped ? " so far (" : " (") << SizeText(bytes) << ").\n";
    for (const AreaSummary& area : summaries) {
      const ScanRecord& record = area.outcome->scan.record;
      if (area.outcome->resumed) {
        context.out << "Went on from where scan " << record.number << " stopped.\n";
      }
      if (record.unreadableSectors != 0) {
        context.out << "  " << record.unreadableSectors
                    << " sectors could not be read and were passed over.\n";
      }
      if (area.impossibleSizes != 0) {
        context.out << "  " << area.impossibleSizes
                    << " files have damaged records that claim more bytes than the volume "
                       "holds; their sizes are not counted.\n";
      }
      if (record.damaged) {
        context.out << "  Damaged volume: what lies in the damaged parts could not be listed.\n";
        for (const std::string& note : SplitNotes(record.notes)) {
          context.out << "    " << TerminalSafe(note) << ".\n";
        }
      }
    }
    if (summaries.size() > 1) {
      for (const AreaSummary& area : summaries) {
        const ScanRecord& record = area.outcome->scan.record;
        context.out << "  " << AreaFolderName(record.area) << " ("
                    << (record.area.fileSystem.empty() ? "?" : record.area.fileSystem)
                    << "): " << area.files << (area.files == 1 ? " file, " : " files, ")
                    << SizeText(area.bytes) << ", scan folder " << record.folder << '\n';
      }
      PrintCategories(context.out, total, "  ");
    } else {
      PrintCategories(context.out, total, "  ");
      context.out << "Scan folder: " << summaries.front().outcome->scan.record.folder << '\n';
    }
    if (files != 0) {
      context.out << "Next: keldrive ls " << argument << "    keldrive recover " << argument
                  << " --to DIR --all\n";
    }
  }
  if (stopped) {
    const ScanRecord& last = outcomes.back().scan.record;
    ReportError(context, argument,
                "scan stopped; the " + std::to_string(last.found) +
                    " records found so far are kept in " + last.folder);
    return kExitFailure;
  }
  // A scan that met unreadable sectors or a damaged volume did not see everything: it
  // is reported as such, never as a plain success.
  bool damaged = false;
  for (const AreaSummary& area : summaries) {
    const ScanRecord& record = area.outcome->scan.record;
    if (record.damaged || record.unreadableSectors != 0) {
      damaged = true;
      ReportError(context,
                  summaries.size() > 1 ? argument + " " + AreaFolderName(record.area) : argument,
                  "the scan is incomplete: " +
                      (record.unreadableSectors != 0
                           ? std::to_string(record.unreadableSectors) + " sectors could not be read"
                           : std::string("the volume is damaged")) +
                      " (see above)");
    }
  }
  return failed || damaged ? kExitFailure : kExitOk;
}

}  // namespace

const Command& ScanCommand() {
  static const Command kCommand{"scan",
                                "scan a medium for deleted, formatted or lost files",
                                kUsage,
                                {{"--mode", true},
                                 {"--whole", false},
                                 {"--resume", false},
                                 {"--fresh", false},
                                 {"--volume", true},
                                 {"--json", false}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
