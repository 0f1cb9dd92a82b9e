#include "session/report_writers.h"

namespace keldrive {

// A build without libxml2 writes no DFXML; the commands refuse the format before they
// would ask for a writer.
bool DfxmlReportsAvailable() {
  return false;
}

std::unique_ptr<ReportWriter> MakeDfxmlReportWriter(std::ostream&, bool) {
  return nullptr;
}

}  // namespace keldrive
