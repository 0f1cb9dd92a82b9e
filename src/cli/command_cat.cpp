#include <string>

#include "cli/command.h"
#include "cli/scan_session.h"
#include "session/recovery_plan.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive cat MEDIUM PATH [--scan N] [--volume N]\n"
    "\n"
    "Writes one found file of the newest finished scan of MEDIUM to standard output, for\n"
    "scripts, file(1) and pipes: keldrive cat disk.img 'DCIM/a.jpg' | file -\n"
    "PATH is the file's path in the scan (see keldrive ls).\n"
    "\n"
    "  --scan N    use scan folder N instead of the newest scan\n"
    "  --volume N  only volume N of the disk or image\n"
    "\n"
    "Exit codes: 0 the whole file was written; 1 the medium, its scan or the file could\n"
    "not be found, PATH is a folder, or a read failed part-way (what was read is then\n"
    "already written); 2 the command line was wrong.\n";

int Run(const Arguments& arguments, Context& context) {
  const auto& words = arguments.positional;
  std::optional<std::uint64_t> number;
  std::optional<int> volume;
  if (words.size() != 2 || !ParseScanNumber(arguments, number) ||
      !ParseVolumeNumber(arguments, volume)) {
    ReportError(context, "cat", "needs one MEDIUM and one PATH (see keldrive cat --help)");
    return kExitUsage;
  }
  ScanSet scans;
  if (!OpenMediumScans(context, words[0], volume, number, false, scans)) return kExitFailure;
  const ScanSetBrowser browser = scans.Browser();
  ScanItem item;
  if (browser.Find(words[1], item) != result::kSuccess || item.isRoot) {
    ReportError(context, words[1], "not found in the scan (see keldrive ls " + words[0] + ")");
    return kExitFailure;
  }
  if (item.isAreaRoot || item.record.isFolder != 0) {
    ReportError(context, words[1], "is a folder; cat writes files only");
    return kExitFailure;
  }
  IFileRecoveryParse& engine = *scans.scans[item.scan]->engine;
  const ResultCode rc = engine.ReadFileData(item.record, [&](std::span<const std::uint8_t> piece) {
    context.out.write(reinterpret_cast<const char*>(piece.data()),
                      static_cast<std::streamsize>(piece.size()));
    return context.out ? result::kSuccess : result::kWriteFault;
  });
  context.out.flush();
  if (rc != result::kSuccess) {
    ReportError(context, words[1], DescribeRecoveryFailure(rc));
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

const Command& CatCommand() {
  static const Command kCommand{"cat",
                                "write one found file to standard output",
                                kUsage,
                                {{"--scan", true}, {"--volume", true}},
                                &Run};
  return kCommand;
}

}  // namespace keldrive::cli
