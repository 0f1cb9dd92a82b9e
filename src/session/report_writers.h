#pragma once

#include <memory>
#include <ostream>

#include "session/file_report.h"

namespace keldrive {

// Whether MakeDfxmlReportWriter gives a writer: false where libxml2 was not built in.
bool DfxmlReportsAvailable();
// The writers MakeReportWriter chooses between.
std::unique_ptr<ReportWriter> MakeDfxmlReportWriter(std::ostream& out, bool recovery);
std::unique_ptr<ReportWriter> MakeCsvReportWriter(std::ostream& out, bool recovery);

}  // namespace keldrive
