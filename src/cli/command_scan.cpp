#include <array>
#include <string>

#include "app/formatting.h"
#include "cli/command.h"
#include "cli/json_writer.h"
#include "cli/scan_session.h"
#include "engine/file_category.h"
#include "platform/clock.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive scan MEDIUM [--mode deleted] [--json]\n"
    "\n"
    "Scans MEDIUM for deleted files and keeps what it finds in a scan folder, so that\n"
    "keldrive ls, find and recover can use it without scanning again. MEDIUM is an image\n"
    "file, a disk or partition device (/dev/sdb1), or a number shown by keldrive list.\n"
    "The medium is only read. Ctrl+C stops the scan and keeps what was found.\n"
    "\n"
    "  --mode deleted  list deleted files from the FAT directory tree (the default)\n"
    "  --json          print the summary as JSON\n";

constexpr std::array<FileCategory, 6> kCategories{FileCategory::kPhoto,   FileCategory::kAudio,
                                                  FileCategory::kVideo,   FileCategory::kDocument,
                                                  FileCategory::kArchive, FileCategory::kOther};

int Run(const Arguments& arguments, Context& context) {
  if (arguments.positional.size() != 1) {
    ReportError(context, "scan", "needs one MEDIUM (see keldrive scan --help)");
    return kExitUsage;
  }
  if (const auto mode = arguments.Value("--mode"); mode && *mode != "deleted") {
    ReportError(context, "scan",
                "unknown mode '" + *mode + "' (this version scans for deleted files)");
    return kExitUsage;
  }
  const std::string& argument = arguments.positional[0];
  const std::uint64_t started = platform::MonotonicMilliseconds();
  LoadedScan scan;
  std::string message;
  const ResultCode rc = RunDeletedScan(context, argument, scan, message);
  if (rc != result::kSuccess && rc != ResultCancelled) {
    ReportError(context, argument, message);
    return kExitFailure;
  }
  const double seconds = static_cast<double>(platform::MonotonicMilliseconds() - started) / 1000.0;

  std::array<std::uint64_t, kCategories.size()> files{}, bytes{};
  std::vector<FoundFile> found;
  scan.engine->ListFilesByType(EveryCategoryPatternList() + "|*.other", found);
  for (const FoundFile& file : found) {
    const auto index = static_cast<std::size_t>(CategoryOfName(file.Name()));
    ++files[index];
    bytes[index] += file.size;
  }

  if (arguments.Has("--json")) {
    JsonWriter json(context.out);
    json.BeginObject();
    json.Field("medium", argument);
    json.Field("scanFolder", scan.record.folder);
    json.Field("scan", scan.record.number);
    json.Field("finished", rc == result::kSuccess);
    json.Field("records", scan.record.found);
    json.Field("files", static_cast<std::uint64_t>(found.size()));
    json.Key("categories");
    json.BeginObject();
    for (std::size_t i = 0; i < kCategories.size(); ++i) {
      json.Key(CategoryFolderName(kCategories[i]));
      json.BeginObject();
      json.Field("files", files[i]);
      json.Field("bytes", bytes[i]);
      json.EndObject();
    }
    json.EndObject();
    json.EndObject();
  } else {
    std::uint64_t totalBytes = 0;
    for (const std::uint64_t b : bytes) totalBytes += b;
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    context.out << "Scanned " << argument << " in " << time << ": " << found.size()
                << " deleted files (" << FormatSize(static_cast<std::int64_t>(totalBytes))
                << ").\n";
    for (std::size_t i = 0; i < kCategories.size(); ++i) {
      if (files[i] == 0) continue;
      std::string name(CategoryFolderName(kCategories[i]));
      name.resize(10, ' ');
      context.out << "  " << name << files[i] << (files[i] == 1 ? " file, " : " files, ")
                  << FormatSize(static_cast<std::int64_t>(bytes[i])) << '\n';
    }
    context.out << "Scan folder: " << scan.record.folder << '\n';
    if (!found.empty()) {
      context.out << "Next: keldrive ls " << argument << "    keldrive recover " << argument
                  << " --to DIR --all\n";
    }
  }
  if (rc == ResultCancelled) {
    ReportError(context, argument, message);
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

const Command& ScanCommand() {
  static const Command kCommand{"scan",
                                "scan a medium for deleted files",
                                kUsage,
                                {{"--mode", true}, {"--json", false}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
