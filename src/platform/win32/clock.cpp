#include "platform/clock.h"

#include <windows.h>

namespace keldrive::platform {

std::uint64_t MonotonicMilliseconds() {
  return GetTickCount64();
}

LocalTime LocalTimeNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::uint64_t UtcFileTimeNow() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace keldrive::platform
