#include "session/file_report.h"

#include <cstdio>

#include "engine/file_time.h"
#include "session/report_writers.h"

namespace keldrive {

std::string EngineName(std::uint32_t sourceEngine) {
  switch (static_cast<SourceEngine>(sourceEngine)) {
    case SourceEngine::kQuickNtfs:
      return "quick NTFS";
    case SourceEngine::kQuickFat:
      return "quick FAT";
    case SourceEngine::kProfessionalNtfs:
      return "professional NTFS";
    case SourceEngine::kProfessionalFat:
      return "professional FAT";
    case SourceEngine::kCarving:
      return "carving";
  }
  return "unknown";
}

std::string IsoTime(FileTime time, bool local) {
  if (time == 0) return {};
  const CalendarTime c = FileTimeToCalendar(time);
  char text[40];
  int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day,
                        c.hour, c.minute, c.second);
  if (c.millisecond != 0 && n > 0) {
    n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ".%03d", c.millisecond);
  }
  std::string iso(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  if (!local) iso += 'Z';
  return iso;
}

bool ReportFormatAvailable(ReportFormat format) {
  return format != ReportFormat::kDfxml || DfxmlReportsAvailable();
}

std::unique_ptr<ReportWriter> MakeReportWriter(ReportFormat format, std::ostream& out,
                                               bool recovery) {
  return format == ReportFormat::kDfxml ? MakeDfxmlReportWriter(out, recovery)
                                        : MakeCsvReportWriter(out, recovery);
}

}  // namespace keldrive
