#include "platform/file_times.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace keldrive::platform {
namespace {

FILETIME ToFileTime(std::uint64_t ticks, bool local) {
  FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  if (local) {
    // A wall-clock time of this machine's zone, daylight saving decided by the rules for
    // that date (LocalFileTimeToFileTime would apply today's offset instead).
    SYSTEMTIME wall{};
    SYSTEMTIME utc{};
    FILETIME converted{};
    if (FileTimeToSystemTime(&time, &wall) != 0 &&
        TzSpecificLocalTimeToSystemTime(nullptr, &wall, &utc) != 0 &&
        SystemTimeToFileTime(&utc, &converted) != 0) {
      // SYSTEMTIME keeps milliseconds only: carry the rest of the ticks over.
      const std::uint64_t whole =
          (static_cast<std::uint64_t>(converted.dwHighDateTime) << 32) | converted.dwLowDateTime;
      const std::uint64_t withRest = whole + ticks % 10'000;
      time = {static_cast<DWORD>(withRest & 0xFFFFFFFFu), static_cast<DWORD>(withRest >> 32)};
    }
  }
  return time;
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
