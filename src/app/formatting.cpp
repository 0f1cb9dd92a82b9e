#include "app/formatting.h"

#include <array>
#include <cstdio>

namespace keldrive {

std::string FormatSize(std::int64_t bytes) {
  struct Unit {
    std::int64_t size;
    const char* name;
  };
  static constexpr std::array<Unit, 4> kUnits{{
      {std::int64_t{1} << 40, "TB"},
      {std::int64_t{1} << 30, "GB"},
      {std::int64_t{1} << 20, "MB"},
      {std::int64_t{1} << 10, "KB"},
  }};
  char text[64];
  for (const Unit& unit : kUnits) {
    if (bytes >= unit.size) {
      std::snprintf(text, sizeof text, "%.2f %s",
                    static_cast<double>(bytes) / static_cast<double>(unit.size), unit.name);
      return text;
    }
  }
  std::snprintf(text, sizeof text, "%lld Bytes", static_cast<long long>(bytes));
  return text;
}

}  // namespace keldrive
