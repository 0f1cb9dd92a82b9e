#include "platform/instance_mutex.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace keldrive::platform {

InstanceMutex::~InstanceMutex() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
}

ResultCode InstanceMutex::Claim(const std::string& name) {
  if (handle_ != nullptr) return result::kSuccess;
  HANDLE handle = CreateMutexW(nullptr, TRUE, win32::Widen("Global\\" + name).c_str());
  if (handle == nullptr) {
    // Another user's copy made it and its rights keep this user out: it exists.
    return GetLastError() == ERROR_ACCESS_DENIED ? result::kAlreadyExists : win32::LastResult();
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(handle);
    return result::kAlreadyExists;
  }
  handle_ = handle;
  return result::kSuccess;
}

}  // namespace keldrive::platform
