#pragma once

#include <optional>
#include <string>

#include "platform/result_code.h"
#include "session/file_report.h"
#include "session/recovery_plan.h"
#include "session/scan_browser.h"

namespace keldrive {

// The report format a file name asks for: ".xml" or ".dfxml" DFXML, ".csv" CSV (any case).
std::optional<ReportFormat> ReportFormatOfName(const std::string& path);

// How one written file ended, in words: "complete", "incomplete: <why>" when part of it
// was written, "failed: <why>" when none was.
std::string RecoveryResultText(const FileOutcome& file);

// Writes every file a recovery wrote, under the volume of its scan: its source record and
// path in the scan, its target, the bytes written, their sha256 (read back from the
// target) and the result in words. On failure returns a code and a message for the user.
ResultCode WriteRecoveryReport(const ScanSetBrowser& browser, const RecoveryResult& outcome,
                               ReportWriter& writer, std::string& message);

}  // namespace keldrive
