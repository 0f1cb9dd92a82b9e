#include <sstream>
#include <string>

#include "cli/command.h"
#include "cli/report_output.h"
#include "cli/scan_session.h"
#include "session/file_report.h"
#include "session/scan_report.h"

namespace keldrive::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: keldrive report MEDIUM --format dfxml|csv [--hash sha256|md5] [--out FILE]\n"
    "                       [--scan N] [--volume N]\n"
    "\n"
    "Writes what the newest finished scan of MEDIUM found, one entry a file: its path, size,\n"
    "whether it was deleted, its times, where its data lies on the medium as recovery would\n"
    "read it, and the engine that found it. DFXML is the exchange format of forensic tools;\n"
    "CSV has one row a file under a header row.\n"
    "\n"
    "  --format F       dfxml or csv\n"
    "  --hash H         add the sha256 or md5 of the bytes recovery would write (reads them)\n"
    "  --out FILE       write the report to FILE instead of standard output\n"
    "  --scan N         use scan folder N instead of the newest scan\n"
    "  --volume N       only volume N of the disk or image\n";

int Run(const Arguments& arguments, Context& context) {
  const auto& words = arguments.positional;
  std::optional<std::uint64_t> number;
  std::optional<int> volume;
  const std::string formatName = arguments.Value("--format").value_or("");
  std::optional<DigestKind> digest;
  std::string error;
  if (const auto hash = arguments.Value("--hash")) {
    digest = ParseDigestName(*hash);
    if (!digest) error = "unknown hash \"" + *hash + "\" (sha256 or md5)";
  }
  if (formatName != "dfxml" && formatName != "csv") error = "--format must be dfxml or csv";
  if (formatName == "dfxml" && !ReportFormatAvailable(ReportFormat::kDfxml)) {
    error = kDfxmlUnavailable;
  }
  if (words.size() != 1 || !ParseScanNumber(arguments, number) ||
      !ParseVolumeNumber(arguments, volume) || !error.empty()) {
    ReportError(context, "report",
                error.empty() ? "needs one MEDIUM (see keldrive report --help)" : error);
    return kExitUsage;
  }
  ScanSet scans;
  if (!OpenMediumScans(context, words[0], volume, number, false, scans)) return kExitFailure;
  std::ostringstream text;
  const auto writer = MakeReportWriter(
      formatName == "dfxml" ? ReportFormat::kDfxml : ReportFormat::kCsv, text, false);
  const ScanSetBrowser browser = scans.Browser();
  std::string message;
  if (WriteScanReport(browser, *writer, digest, message) != result::kSuccess) {
    ReportError(context, words[0], message);
    return kExitFailure;
  }
  return DeliverReport(context, arguments.Value("--out").value_or(""), text.str()) ? kExitOk
                                                                                   : kExitFailure;
}

}  // namespace

const Command& ReportCommand() {
  static const Command kCommand{
      "report",
      "write a scan's findings as DFXML or CSV",
      kUsage,
      {{"--format", true}, {"--hash", true}, {"--out", true}, {"--scan", true}, {"--volume", true}},
      &Run};
  return kCommand;
}

}  // namespace keldrive::cli
