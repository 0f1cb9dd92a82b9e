#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/found_file_text.h"
#include "cli/json_writer.h"
#include "cli/scan_session.h"
#include "cli/text_table.h"
#include "cli/type_selection.h"
#include "engine/file_category.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive find MEDIUM [--type jpg,png] [--category photo,document] [--other]\n"
    "                     [--scan N] [--json]\n"
    "\n"
    "Lists the files of the newest finished scan of MEDIUM by type, with the folder each\n"
    "lies in. Without a selection every file is listed.\n"
    "\n"
    "  --type LIST      extensions, such as jpg,png,docx\n"
    "  --category LIST  photo, audio, video, document, archive, others\n"
    "  --other          files whose type is in no category\n"
    "  --scan N         use scan folder N instead of the newest scan\n"
    "  --json           print the list as JSON\n";

int Run(const Arguments& arguments, Context& context) {
  const auto& words = arguments.positional;
  std::optional<std::uint64_t> number;
  std::string error;
  const auto patterns = PatternsFromArguments(arguments, error);
  if (words.size() != 1 || !ParseScanNumber(arguments, number) || !patterns) {
    ReportError(context, "find",
                error.empty() ? "needs one MEDIUM (see keldrive find --help)" : error);
    return kExitUsage;
  }
  LoadedScan scan;
  std::string message;
  if (OpenScan(context, words[0], number, scan, message) != result::kSuccess) {
    ReportError(context, words[0], message);
    return kExitFailure;
  }
  std::vector<FoundFile> files;
  if (scan.engine->ListFilesByType(*patterns, files) == 0) {
    ReportError(context, scan.record.folder, "cannot read the scan log");
    return kExitFailure;
  }
  const auto pathOf = [&](const FoundFile& file) {
    std::string parent;
    scan.engine->GetParentPath(file, parent);
    return parent + std::string(file.Name());
  };
  if (arguments.Has("--json")) {
    JsonWriter json(context.out);
    json.BeginArray();
    for (const FoundFile& file : files) WriteFoundFileJson(json, file, pathOf(file));
    json.EndArray();
    return kExitOk;
  }
  TextTable table({{"CATEGORY"}, {"SIZE", true}, {"MODIFIED"}, {"PATH"}});
  for (const FoundFile& file : files) {
    table.AddRow({std::string(CategoryFolderName(CategoryOfName(file.Name()))),
                  FormatSize(static_cast<std::int64_t>(file.size)), ModifiedText(file),
                  pathOf(file)});
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
                                 {"--json", false}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
