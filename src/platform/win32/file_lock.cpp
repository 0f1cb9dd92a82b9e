#include "platform/file_lock.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace keldrive::platform {

FileLock::~FileLock() {
  Release();
}

ResultCode FileLock::Acquire(const std::string& path) {
  Release();
  HANDLE handle = CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return win32::LastResult();
  // Without LOCKFILE_FAIL_IMMEDIATELY the call waits for the lock, as flock does.
  OVERLAPPED whole{};
  if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) == 0) {
    const ResultCode rc = win32::LastResult();
    CloseHandle(handle);
    return rc;
  }
  handle_ = handle;
  return result::kSuccess;
}

void FileLock::Release() {
  if (handle_ == nullptr) return;
  OVERLAPPED whole{};
  UnlockFileEx(static_cast<HANDLE>(handle_), 0, MAXDWORD, MAXDWORD, &whole);
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

bool FileLock::Held() const {
  return handle_ != nullptr;
}

}  // namespace keldrive::platform
