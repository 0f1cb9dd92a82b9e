#include "platform/file_replace.h"

#include <windows.h>
// windows.h names its own ReplaceFile as a macro.
#undef ReplaceFile

#include "platform/win32/wide.h"

namespace keldrive::platform {

ResultCode ReplaceFile(const std::string& from, const std::string& to) {
  // Within one folder MoveFileEx renames in one step; write-through returns only once the
  // change is on the disk, as the POSIX version's folder flush does.
  if (MoveFileExW(win32::WidePath(from).c_str(), win32::WidePath(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    return win32::LastResult();
  }
  return result::kSuccess;
}

ResultCode RemoveFile(const std::string& path) {
  if (DeleteFileW(win32::WidePath(path).c_str()) == 0) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      return static_cast<ResultCode>(error);
    }
  }
  return result::kSuccess;
}

}  // namespace keldrive::platform
