#include "platform/known_folders.h"

#include <windows.h>
// The shell's folder calls need windows.h first.
#include <knownfolders.h>
#include <shlobj.h>

#include "platform/win32/wide.h"

namespace keldrive::platform {

ResultCode ExecutableFolder(std::string& out) {
  // The path may be longer than MAX_PATH: grow the buffer until it fits.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return win32::LastResult();
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    if (buffer.size() >= 32768) return result::kFilenameTooLong;
    buffer.resize(buffer.size() * 2);
  }
  const auto slash = buffer.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return result::kPathNotFound;
  buffer.resize(slash);
  out = win32::Narrow(buffer);
  return result::kSuccess;
}

ResultCode ApplicationDataFolder(std::string& out) {
  // The roaming application-data folder, CSIDL_APPDATA of old.
  PWSTR folder = nullptr;
  const HRESULT hr =
      SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &folder);
  if (FAILED(hr)) {
    CoTaskMemFree(folder);
    return result::kPathNotFound;
  }
  out = win32::Narrow(folder);
  CoTaskMemFree(folder);
  return result::kSuccess;
}

}  // namespace keldrive::platform
