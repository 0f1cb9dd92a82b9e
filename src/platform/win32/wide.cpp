#include "platform/win32/wide.h"

#include <windows.h>

namespace keldrive::platform::win32 {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), text.data(), size,
                      nullptr, nullptr);
  return text;
}

bool IsDevicePath(const std::string& path) {
  if (path.size() < 4) return false;
  const bool prefix = (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
                      (path[2] == '.' || path[2] == '?') && (path[3] == '\\' || path[3] == '/');
  if (!prefix) return false;
  // "\\?\C:\file" is a long file path, "\\?\Volume{...}" and "\\.\X" are devices.
  return path[2] == '.' || path.compare(4, 7, "Volume{") == 0 ||
         path.compare(4, 13, "PhysicalDrive") == 0;
}

std::wstring WidePath(const std::string& utf8) {
  std::wstring wide = Widen(utf8);
  if (IsDevicePath(utf8)) return wide;
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  const bool driveAbsolute = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\';
  if (driveAbsolute && wide.size() >= MAX_PATH - 12) {
    // The prefix turns off the system's clean-up of "." and ".." parts: do it first.
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length > 0 && length < size) {
      full.resize(length);
      return L"\\\\?\\" + full;
    }
  }
  return wide;
}

ResultCode LastResult() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? result::kIoDevice : static_cast<ResultCode>(error);
}

}  // namespace keldrive::platform::win32
