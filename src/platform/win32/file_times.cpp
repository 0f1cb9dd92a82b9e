#include "platform/file_times.h"

#include <windows.h>

#include <ctime>

#include "platform/win32/wide.h"

namespace keldrive::platform {
namespace {

// FILETIME ticks from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochTicks = 116'444'736'000'000'000;

FILETIME ToFileTime(std::uint64_t ticks, bool local) {
  if (local) {
    // A wall-clock time of this machine's zone, daylight saving decided by the rules for
    // that date (LocalFileTimeToFileTime would apply today's offset instead): mktime
    // decides it, as on POSIX.
    const FILETIME wallTime{static_cast<DWORD>(ticks & 0xFFFFFFFFu),
                            static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME wall{};
    if (FileTimeToSystemTime(&wallTime, &wall) != 0) {
      std::tm calendar{};
      calendar.tm_year = wall.wYear - 1900;
      calendar.tm_mon = wall.wMonth - 1;
      calendar.tm_mday = wall.wDay;
      calendar.tm_hour = wall.wHour;
      calendar.tm_min = wall.wMinute;
      calendar.tm_sec = wall.wSecond;
      calendar.tm_isdst = -1;
      const std::time_t utc = std::mktime(&calendar);
      if (utc != static_cast<std::time_t>(-1)) {
        ticks = static_cast<std::uint64_t>(utc) * 10'000'000 + kUnixEpochTicks + ticks % 10'000'000;
      }
    }
  }
  return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

ResultCode SetFileTimes(const std::string& path, const FileTimeStamps& times) {
  HANDLE handle = CreateFileW(win32::WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return win32::LastResult();
  // A null pointer leaves that time as it is.
  FILETIME created = ToFileTime(times.created, times.local);
  FILETIME accessed = ToFileTime(times.accessed, times.local);
  FILETIME modified = ToFileTime(times.modified, times.local);
  const BOOL ok = SetFileTime(handle, times.created != 0 ? &created : nullptr,
                              times.accessed != 0 ? &accessed : nullptr,
                              times.modified != 0 ? &modified : nullptr);
  const ResultCode rc = ok != 0 ? result::kSuccess : win32::LastResult();
  CloseHandle(handle);
  return rc;
}

}  // namespace keldrive::platform
