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

std::string FormatDuration(std::int64_t seconds) {
  constexpr std::int64_t kHour = 3600;
  constexpr std::int64_t kMinute = 60;
  char text[64];
  if (seconds >= kHour) {
    const std::int64_t hours = seconds / kHour;
    std::snprintf(text, sizeof text, "%lld Hour %lld Min", static_cast<long long>(hours),
                  static_cast<long long>((seconds - hours * kHour) / kMinute));
  } else if (seconds >= kMinute) {
    std::snprintf(text, sizeof text, "%lld Min %lld Sec", static_cast<long long>(seconds / kMinute),
                  static_cast<long long>(seconds % kMinute));
  } else {
    std::snprintf(text, sizeof text, "%lld Sec", static_cast<long long>(seconds));
  }
  return text;
}

std::string FormatFileTime(FileTime time) {
  const CalendarTime calendar = FileTimeToCalendar(time);
  char text[64];
  std::snprintf(text, sizeof text, "%d-%d-%d %02d:%02d:%02d", calendar.year, calendar.month,
                calendar.day, calendar.hour, calendar.minute, calendar.second);
  return text;
}

std::string BytesToText(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kLineLength = 1024;
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t byte = bytes[i];
    if (byte == 0) {
      text += '.';
    } else if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
    if ((i + 1) % kLineLength == 0) text += "\r\n";
  }
  return text;
}

}  // namespace keldrive
