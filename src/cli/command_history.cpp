#include <string>

#include "app/app_folder.h"
#include "app/formatting.h"
#include "app/scan_history.h"
#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/text_table.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive history [--json]\n"
    "\n"
    "Lists the earlier scans that a new scan of the same area or image can go on from:\n"
    "what was scanned, the folder that holds its logs, and how far the scan got.\n"
    "An entry is dropped when its volume or image file changes.\n"
    "\n"
    "  --json  print the history as JSON\n";

std::string KindOf(const ScanHistoryEntry& entry) {
  return entry.imagePath.empty() ? "area" : "image";
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

void PrintJson(const ScanHistory& history, std::ostream& out) {
  JsonWriter json(out);
  json.BeginObject();
  json.Field("root", history.Root());
  json.Field("scanNumber", history.ScanNumber());
  json.Field("skippedEntries", static_cast<std::uint64_t>(history.SkippedEntries()));
  json.Key("entries");
  json.BeginArray();
  for (const ScanHistoryEntry& entry : history.Entries()) {
    json.BeginObject();
    json.Field("kind", KindOf(entry));
    json.Field("disk", entry.diskNumber);
    json.Field("startSector", entry.firstSector);
    json.Field("sectors", entry.sectorCount);
    json.Field("image", entry.imagePath);
    json.Field("imageWriteTime", entry.imageWriteTime);
    json.Field("freeBytes", entry.freeBytes);
    json.Field("folder", entry.scanFolder);
    json.Field("extentStart", entry.resume.extentStart);
    json.Field("extentLength", entry.resume.extentLength);
    json.Field("extentOffset", entry.resume.extentOffset);
    json.Field("sectorsDone", entry.resume.sectorsDone);
    json.Field("filesFound", entry.resume.filesFound);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void PrintTable(const ScanHistory& history, std::ostream& out) {
  if (history.Entries().empty()) {
    out << "No scans recorded yet in " << history.Root() << ".\n";
    return;
  }
  TextTable text({{"NO", true},
                  {"KIND"},
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
    text.AddRow({std::to_string(++number), KindOf(entry),
                 image ? "-" : std::to_string(entry.diskNumber), std::to_string(entry.firstSector),
                 std::to_string(entry.sectorCount), ProgressText(entry),
                 std::to_string(entry.resume.filesFound),
                 image ? entry.imagePath + " (" + FormatFileTime(entry.imageWriteTime) + ")" : "-",
                 entry.scanFolder});
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
  const ScanHistory history(root);
  if (arguments.Has("--json")) {
    PrintJson(history, context.out);
  } else {
    PrintTable(history, context.out);
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
