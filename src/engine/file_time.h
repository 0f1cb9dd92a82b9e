#pragma once

#include <cstdint>

namespace keldrive {

// A FILETIME: 100-nanosecond intervals since 1601-01-01 00:00:00, the time unit of found
// files whatever file system they came from. 0 means unknown.
using FileTime = std::uint64_t;

// The three times of a file a recovery can give back; 0 where one is unknown.
struct FileTimes {
  FileTime created = 0;
  FileTime accessed = 0;
  FileTime modified = 0;

  friend bool operator==(const FileTimes&, const FileTimes&) = default;
};

struct CalendarTime {
  int year = 1601;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Converts a calendar time, taken as it is (no time-zone adjustment). False for a date or
// time that does not exist (month 13, 30 February, minute 60) or lies before 1601.
bool CalendarToFileTime(const CalendarTime& calendar, FileTime& out);

// The calendar time of a FILETIME.
CalendarTime FileTimeToCalendar(FileTime time);

}  // namespace keldrive
