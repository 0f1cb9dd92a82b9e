#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/found_file_text.h"
#include "cli/json_writer.h"
#include "cli/scan_session.h"
#include "cli/text_table.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive ls MEDIUM [FOLDER] [--scan N] [--json]\n"
    "\n"
    "Lists a folder of the newest finished scan of MEDIUM (the top folder when FOLDER is\n"
    "left out), from the scan's logs: files first, then folders with the number of files\n"
    "below them. FOLDER is a path such as \"Photos/2019\".\n"
    "\n"
    "  --scan N  use scan folder N instead of the newest scan\n"
    "  --json    print the listing as JSON\n";

int Run(const Arguments& arguments, Context& context) {
  const auto& words = arguments.positional;
  std::optional<std::uint64_t> number;
  if (words.empty() || words.size() > 2 || !ParseScanNumber(arguments, number)) {
    ReportError(context, "ls", "needs MEDIUM [FOLDER] (see keldrive ls --help)");
    return kExitUsage;
  }
  LoadedScan scan;
  std::string message;
  if (OpenScan(context, words[0], number, scan, message) != result::kSuccess) {
    ReportError(context, words[0], message);
    return kExitFailure;
  }
  const std::string folder = words.size() == 2 ? words[1] : "";
  ScanItem item;
  if (FindInScan(*scan.engine, folder, item) != result::kSuccess ||
      (!item.isRoot && item.record.isFolder == 0)) {
    ReportError(context, words[0], "no folder \"" + folder + "\" in the scan");
    return kExitFailure;
  }
  std::vector<FoundFile> children;
  ListItem(*scan.engine, item, children);
  std::string prefix = folder;
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  if (!prefix.empty()) prefix += "/";

  if (arguments.Has("--json")) {
    JsonWriter json(context.out);
    json.BeginArray();
    for (const FoundFile& child : children) {
      WriteFoundFileJson(json, child, prefix + std::string(child.Name()));
    }
    json.EndArray();
    return kExitOk;
  }
  TextTable table({{"KIND"}, {"SIZE", true}, {"MODIFIED"}, {"NAME"}});
  for (const FoundFile& child : children) {
    std::string size = FormatSize(static_cast<std::int64_t>(child.size));
    if (child.isFolder != 0) {
      std::int32_t count = 0;
      scan.engine->CountFolderFiles(&child, item.isRoot ? 1 : item.depth + 2, count);
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
  static const Command kCommand{
      "ls", "list a folder of a scan", kUsage, {{"--scan", true}, {"--json", false}}, &Run};
  return kCommand;
}

}  // namespace keldrive::cli
