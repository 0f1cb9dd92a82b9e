#include "platform/clock.h"

#include <time.h>

namespace keldrive::platform {

std::uint64_t MonotonicMilliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

LocalTime LocalTimeNow() {
  const time_t now = ::time(nullptr);
  tm local{};
  ::localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::uint64_t UtcFileTimeNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
  return kUnixEpochAsFileTime + static_cast<std::uint64_t>(now.tv_sec) * 10000000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 100u;
}

}  // namespace keldrive::platform
