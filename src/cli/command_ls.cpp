#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/found_file_text.h"
#include "cli/json_output.h"
#include "cli/scan_session.h"
#include "cli/text_table.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive ls MEDIUM [FOLDER] [--scan N] [--volume N] [--json]\n"
    "\n"
    "Lists a folder of the newest scan of MEDIUM (the top folder when FOLDER is left out),\n"
    "from the scan's logs: files first, then folders with the number of files below them.\n"
    "FOLDER is a path such as \"Photos/2019\". The scans of a disk or image of several\n"
    "volumes are shown as one folder per volume (\"volume1\", \"volume2\", ...).\n"
    "\n"
    "  --scan N    use scan folder N instead of the newest scan\n"
    "  --volume N  only volume N of the disk or image\n"
    "  --json      print the listing as JSON\n";

int Run(const Arguments& arguments, Context& context) {
  const auto& words = arguments.positional;
  std::optional<std::uint64_t> number;
  std::optional<int> volume;
  if (words.empty() || words.size() > 2 || !ParseScanNumber(arguments, number) ||
      !ParseVolumeNumber(arguments, volume)) {
    ReportError(context, "ls", "needs MEDIUM [FOLDER] (see keldrive ls --help)");
    return kExitUsage;
  }
  ScanSet scans;
  if (!OpenMediumScans(context, words[0], volume, number, false, scans)) return kExitFailure;
  const ScanSetBrowser browser = scans.Browser();
  const std::string folder = words.size() == 2 ? words[1] : "";
  ScanItem item;
  if (browser.Find(folder, item) != result::kSuccess ||
      (!item.isRoot && !item.isAreaRoot && item.record.isFolder == 0)) {
    ReportError(context, words[0], "no folder \"" + folder + "\" in the scan");
    return kExitFailure;
  }
  std::vector<ScanItem> children;
  browser.List(item, children);
  std::string prefix = folder;
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  if (!prefix.empty()) prefix += "/";

  if (arguments.Has("--json")) {
    Json json = Json::array();
    for (const ScanItem& child : children) {
      json.push_back(FoundFileJson(child.record, prefix + std::string(child.record.Name())));
    }
    WriteJson(context.out, json);
    return kExitOk;
  }
  TextTable table({{"KIND"}, {"SIZE", true}, {"MODIFIED"}, {"NAME"}});
  for (const ScanItem& entry : children) {
    const FoundFile& child = entry.record;
    const ScanArea& area = browser.Scans()[entry.scan]->record.area;
    std::string size = SizeText(child, AreaBytes(area));
    if (child.isFolder != 0) {
      std::int32_t count = 0;
      IFileRecoveryParse& engine = *browser.Scans()[entry.scan]->engine;
      if (entry.isAreaRoot) {
        engine.CountFolderFiles(nullptr, 0, count);
      } else {
        engine.CountFolderFiles(&child, entry.depth + 1, count);
      }
      size = std::to_string(count) + " files";
    }
    std::string name(child.Name());
    if (child.isFolder != 0) name += "/";
    if (child.isFolder == 0 && child.contentOk == 0) name += "  (content does not match its type)";
    table.AddRow({child.isFolder != 0 ? "folder" : "file", size, ModifiedText(child), name});
  }
  table.Print(context.out);
  return kExitOk;
}

}  // namespace

const Command& LsCommand() {
  static const Command kCommand{"ls",
                                "list a folder of a scan",
                                kUsage,
                                {{"--scan", true}, {"--volume", true}, {"--json", false}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
