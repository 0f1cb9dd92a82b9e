#include "session/recovery_report.h"

#include <cctype>

#include "engine/unreadable_data.h"
#include "session/scan_report.h"

namespace keldrive {

std::optional<ReportFormat> ReportFormatOfName(const std::string& path) {
  std::string lower;
  for (const char c : path) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto endsWith = [&](std::string_view suffix) {
    return lower.size() >= suffix.size() && lower.ends_with(suffix);
  };
  if (endsWith(".xml") || endsWith(".dfxml")) return ReportFormat::kDfxml;
  if (endsWith(".csv")) return ReportFormat::kCsv;
  return std::nullopt;
}

std::string RecoveryResultText(const FileOutcome& file) {
  if (file.code == result::kSuccess) return "complete";
  std::string text = (file.incompleteAs.empty() ? "failed: " : "incomplete: ") +
                     DescribeRecoveryFailure(file.code);
  if (!file.unreadable.empty()) text += "; unreadable: " + DescribeStretches(file.unreadable);
  if (file.incompleteAs.empty()) text += "; nothing was kept";
  return text;
}

ResultCode WriteRecoveryReport(const ScanSetBrowser& browser, const RecoveryResult& outcome,
                               ReportWriter& writer, std::string& message) {
  const auto& scans = browser.Scans();
  if (scans.empty()) {
    message = "no scan to report";
    return result::kInvalidParameter;
  }
  writer.Begin(ReportSourceOf(*scans.front()), std::nullopt);
  for (std::size_t i = 0; i < scans.size(); ++i) {
    writer.BeginVolume(ReportVolumeOf(*scans[i]));
    for (const FileOutcome& written : outcome.files) {
      if (written.scan != i) continue;
      ReportFile file;
      if (written.record) {
        file = DescribeFoundFile(browser, i, *written.record, std::nullopt);
      } else {
        // A file of a chosen folder: the engine wrote it without handing out its record.
        file.record.sourceEngine = kRecordUnknown;
        file.record.size = written.bytes;
        file.record.SetName(written.target.substr(written.target.find_last_of('/') + 1));
        file.path = written.source.empty() ? std::string(file.record.Name()) : written.source;
      }
      // A file not written whole is kept under its incomplete mark, or not at all.
      const std::string& kept =
          written.code == result::kSuccess ? written.target : written.incompleteAs;
      RecoveredFileFacts facts{kept, kept.empty() ? 0 : written.bytes, {},
                               RecoveryResultText(written)};
      if (!kept.empty()) DigestOfFile(kept, DigestKind::kSha256, facts.sha256);
      file.recovered = std::move(facts);
      writer.File(file);
    }
    writer.EndVolume();
  }
  if (!writer.End()) {
    message = "cannot write the report";
    return result::kWriteFault;
  }
  return result::kSuccess;
}

}  // namespace keldrive
