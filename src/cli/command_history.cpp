#include <algorithm>
#include <string>

#include <map>

#include "app/app_folder.h"
#include "app/formatting.h"
#include "app/scan_history.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/text_table.h"
#include "session/scan_catalogue.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive history [--json]\n"
    "\n"
    "Lists the scans recorded in the scan-log folder: what was scanned, in which mode, how\n"
    "it ended, how far it got, what it found and the folder that holds its logs. A deep\n"
    "scan that stopped part-way can go on from there; an entry is dropped when its volume\n"
    "or image file changes.\n"
    "\n"
    "  --json  print the history as JSON\n";

std::string KindOf(const ScanHistoryEntry& entry) {
  return entry.imagePath.empty() ? "area" : "image";
}

std::string ModeOf(const ScanHistoryEntry& entry, const ScanRecord* record) {
  if (record != nullptr) return std::string(RecoveryModeName(record->mode));
  return entry.kind == ScanKind::kDeleted ? "deleted" : "deep";
}

// The scan folders' records by folder, to go with the history's entries.
std::map<std::string, ScanRecord> RecordsByFolder(const ScanCatalogue& catalogue) {
  std::map<std::string, ScanRecord> records;
  for (ScanRecord& record : catalogue.Scans()) records.emplace(record.folder, std::move(record));
  return records;
}

const ScanRecord* RecordOf(const std::map<std::string, ScanRecord>& records,
                           const std::string& folder) {
  const auto it = records.find(folder);
  return it != records.end() ? &it->second : nullptr;
}

// Sectors done with their share of the area: "1200 (12%)".
std::string ProgressText(const ScanHistoryEntry& entry) {
  std::string text = std::to_string(entry.resume.sectorsDone);
  if (entry.sectorCount != 0) {
    const double share = static_cast<double>(entry.resume.sectorsDone) * 100.0 /
                         static_cast<double>(entry.sectorCount);
    text += " (" + std::to_string(static_cast<int>(share > 100.0 ? 100.0 : share)) + "%)";
  }
  return text;
}

void PrintJson(const ScanHistory& history, const std::map<std::string, ScanRecord>& records,
               std::ostream& out) {
  Json json;
  json["root"] = history.Root();
  json["scanNumber"] = history.ScanNumber();
  json["skippedEntries"] = static_cast<std::uint64_t>(history.SkippedEntries());
  json["entries"] = Json::array();
  for (const ScanHistoryEntry& entry : history.Entries()) {
    const ScanRecord* record = RecordOf(records, entry.scanFolder);
    Json row;
    row["kind"] = KindOf(entry);
    row["mode"] = ModeOf(entry, record);
    row["state"] = record != nullptr ? std::string(ScanStateName(record->state)) : "";
    row["disk"] = entry.diskNumber;
    row["startSector"] = entry.firstSector;
    row["sectors"] = entry.sectorCount;
    row["image"] = entry.imagePath;
    row["imageWriteTime"] = entry.imageWriteTime;
    row["freeBytes"] = entry.freeBytes;
    row["folder"] = entry.scanFolder;
    row["extentStart"] = entry.resume.extentStart;
    row["extentLength"] = entry.resume.extentLength;
    row["extentOffset"] = entry.resume.extentOffset;
    row["sectorsDone"] = entry.resume.sectorsDone;
    row["filesFound"] = entry.resume.filesFound;
    json["entries"].push_back(std::move(row));
  }
  json["scans"] = Json::array();
  for (const auto& [folder, record] : records) {
    Json row;
    row["scan"] = record.number;
    row["folder"] = folder;
    row["mode"] = RecoveryModeName(record.mode);
    row["whole"] = record.whole;
    row["state"] = ScanStateName(record.state);
    row["medium"] = record.area.source.path;
    row["volume"] = record.area.number;
    row["firstSector"] = record.area.sectors.First();
    row["sectors"] = record.area.sectors.Count();
    row["started"] = FormatFileTime(record.started);
    row["found"] = record.found;
    row["unreadableSectors"] = record.unreadableSectors;
    json["scans"].push_back(std::move(row));
  }
  WriteJson(out, json);
}

void PrintTable(const ScanHistory& history, const std::map<std::string, ScanRecord>& records,
                std::ostream& out) {
  if (history.Entries().empty() && records.empty()) {
    out << "No scans recorded yet in " << history.Root() << ".\n";
    return;
  }
  TextTable text({{"NO", true},
                  {"KIND"},
                  {"MODE"},
                  {"STATE"},
                  {"DISK", true},
                  {"START", true},
                  {"SECTORS", true},
                  {"DONE", true},
                  {"FILES", true},
                  {"IMAGE"},
                  {"FOLDER"}});
  std::size_t number = 0;
  for (const ScanHistoryEntry& entry : history.Entries()) {
    const bool image = !entry.imagePath.empty();
    const ScanRecord* record = RecordOf(records, entry.scanFolder);
    text.AddRow({std::to_string(++number), KindOf(entry), ModeOf(entry, record),
                 record != nullptr ? std::string(ScanStateName(record->state)) : "-",
                 image ? "-" : std::to_string(entry.diskNumber), std::to_string(entry.firstSector),
                 std::to_string(entry.sectorCount), ProgressText(entry),
                 std::to_string(entry.resume.filesFound),
                 image ? entry.imagePath + " (" + FormatFileTime(entry.imageWriteTime) + ")" : "-",
                 entry.scanFolder});
  }
  // Scans with no entry: running now, or failed before they got anywhere.
  for (const auto& [folder, record] : records) {
    // clang 14 cannot capture a structured binding.
    const auto& scanFolder = folder;
    const bool listed =
        std::any_of(history.Entries().begin(), history.Entries().end(),
                    [&](const ScanHistoryEntry& entry) { return entry.scanFolder == scanFolder; });
    if (listed) continue;
    const bool image = record.area.source.IsImage();
    text.AddRow({std::to_string(++number), image ? "image" : "area",
                 std::string(RecoveryModeName(record.mode)),
                 std::string(ScanStateName(record.state)),
                 image ? "-" : std::to_string(record.area.source.diskNumber),
                 std::to_string(record.area.sectors.First()),
                 std::to_string(record.area.sectors.Count()), "-", std::to_string(record.found),
                 image ? record.area.source.path : "-", folder});
  }
  text.Print(out);
}

int Run(const Arguments& arguments, Context& context) {
  std::string root = context.scanLogRoot;
  if (root.empty()) {
    if (const ResultCode rc = LocateScanLogRoot(root); rc != result::kSuccess) {
      ReportError(
          context, "history",
          "cannot find the application-data folder: " + DescribeResult(rc) + " (is HOME set?)");
      return kExitFailure;
    }
  }
  const ScanCatalogue catalogue(root);
  const ScanHistory history = catalogue.History();
  const auto records = RecordsByFolder(catalogue);
  if (arguments.Has("--json")) {
    PrintJson(history, records, context.out);
  } else {
    PrintTable(history, records, context.out);
  }
  if (history.SkippedEntries() != 0) {
    ReportError(context, root + "/config",
                std::to_string(history.SkippedEntries()) + " damaged entries were left out");
  }
  return kExitOk;
}

}  // namespace

const Command& HistoryCommand() {
  static const Command kCommand{"history",
                                "list earlier scans that a new scan can go on from",
                                kUsage,
                                {{"--json", false}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
