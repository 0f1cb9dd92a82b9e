#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/found_file_text.h"
#include "cli/json_output.h"
#include "cli/scan_session.h"
#include "cli/text_table.h"
#include "cli/type_selection.h"
#include "engine/file_category.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive find MEDIUM [--type jpg,png] [--category photo,document] [--other]\n"
    "                     [--scan N] [--volume N] [--json]\n"
    "\n"
    "Lists the files of the newest finished scan of MEDIUM by type, with the folder each\n"
    "lies in. Without a selection every file is listed.\n"
    "\n"
    "  --type LIST      extensions, such as jpg,png,docx\n"
    "  --category LIST  photo, audio, video, document, archive, others\n"
    "  --other          files whose type is in no category\n"
    "  --scan N         use scan folder N instead of the newest scan\n"
    "  --volume N       only volume N of the disk or image\n"
    "  --json           print the list as JSON\n";

int Run(const Arguments& arguments, Context& context) {
  const auto& words = arguments.positional;
  std::optional<std::uint64_t> number;
  std::optional<int> volume;
  std::string error;
  const auto patterns = PatternsFromArguments(arguments, error);
  if (words.size() != 1 || !ParseScanNumber(arguments, number) ||
      !ParseVolumeNumber(arguments, volume) || !patterns) {
    ReportError(context, "find",
                error.empty() ? "needs one MEDIUM (see keldrive find --help)" : error);
    return kExitUsage;
  }
  ScanSet scans;
  if (!OpenMediumScans(context, words[0], volume, number, false, scans)) return kExitFailure;
  const ScanSetBrowser browser = scans.Browser();
  std::vector<std::pair<std::size_t, FoundFile>> files;
  for (std::size_t i = 0; i < scans.scans.size(); ++i) {
    std::vector<FoundFile> found;
    if (scans.scans[i]->engine->ListFilesByType(*patterns, found) == 0) {
      ReportError(context, scans.scans[i]->record.folder, "cannot read the scan log");
      return kExitFailure;
    }
    for (FoundFile& file : found) files.emplace_back(i, std::move(file));
  }
  if (arguments.Has("--json")) {
    Json json = Json::array();
    for (const auto& [scan, file] : files) {
      json.push_back(FoundFileJson(file, browser.PathOf(scan, file)));
    }
    WriteJson(context.out, json);
    return kExitOk;
  }
  TextTable table({{"CATEGORY"}, {"SIZE", true}, {"MODIFIED"}, {"PATH"}});
  for (const auto& [scan, file] : files) {
    table.AddRow({std::string(CategoryFolderName(CategoryOfName(file.Name()))),
                  SizeText(file, AreaBytes(scans.scans[scan]->record.area)), ModifiedText(file),
                  browser.PathOf(scan, file)});
  }
  table.Print(context.out);
  context.err << files.size() << " files\n";
  return kExitOk;
}

}  // namespace

const Command& FindCommand() {
  static const Command kCommand{"find",
                                "list the files of a scan by type",
                                kUsage,
                                {{"--type", true},
                                 {"--category", true},
                                 {"--other", false},
                                 {"--scan", true},
                                 {"--volume", true},
                                 {"--json", false}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
