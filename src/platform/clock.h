#pragma once

#include <cstdint>

namespace keldrive::platform {

// Milliseconds from an arbitrary start; never goes backwards. For durations and rates.
std::uint64_t MonotonicMilliseconds();

// The wall-clock time in the local time zone, for names and timestamps shown to the user.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};
LocalTime LocalTimeNow();

// The wall-clock time as a FILETIME: 100-nanosecond units since 1601-01-01, UTC.
std::uint64_t UtcFileTimeNow();

}  // namespace keldrive::platform
