#include "engine/scan_log_name.h"

#include <cstdio>

namespace keldrive {

std::string MakeScanLogName(std::string_view prefix, std::int64_t firstSector,
                            const platform::LocalTime& time) {
  char text[96];
  std::snprintf(text, sizeof text, "%lld_%d%d%d%d%2d", static_cast<long long>(firstSector),
                time.year, time.month, time.day, time.hour, time.minute);
  return std::string(prefix) + text;
}

}  // namespace keldrive
