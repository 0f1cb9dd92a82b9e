#pragma once

#include <optional>
#include <string>

#include "platform/result_code.h"
#include "session/file_digest.h"
#include "session/file_report.h"
#include "session/scan_browser.h"

namespace keldrive {

// The medium of a set of loaded scans, as a report names it.
ReportSource ReportSourceOf(const LoadedScan& scan);
ReportVolume ReportVolumeOf(const LoadedScan& scan);

// The report entry of one found file of scan `scan`: its path, where its data lies and,
// with `digest`, the hash of the bytes recovery would write (empty when they cannot all
// be read).
ReportFile DescribeFoundFile(const ScanSetBrowser& browser, std::size_t scan,
                             const FoundFile& record, std::optional<DigestKind> digest);

// Writes every file of every scan of the set, a volume per scan. On failure returns a code
// and a message for the user.
ResultCode WriteScanReport(const ScanSetBrowser& browser, ReportWriter& writer,
                           std::optional<DigestKind> digest, std::string& message);

}  // namespace keldrive
