#include "platform/path_info.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace keldrive::platform {
namespace {

// An open handle on a file or folder for its identity, following links to their target.
HANDLE OpenForQuery(const std::string& path) {
  return CreateFileW(win32::WidePath(path).c_str(), 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

PathKind QueryPathKind(const std::string& path) {
  if (win32::IsDevicePath(path)) {
    HANDLE handle = OpenForQuery(path);
    if (handle == INVALID_HANDLE_VALUE) return PathKind::kMissing;
    CloseHandle(handle);
    return PathKind::kBlockDevice;
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(win32::WidePath(path).c_str(), GetFileExInfoStandard, &data) == 0) {
    return PathKind::kMissing;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kDirectory;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::kOther;
  return PathKind::kRegularFile;
}

ResultCode QueryLastWriteTime(const std::string& path, std::uint64_t& fileTime) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(win32::WidePath(path).c_str(), GetFileExInfoStandard, &data) == 0) {
    return win32::LastResult();
  }
  fileTime = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
             data.ftLastWriteTime.dwLowDateTime;
  return result::kSuccess;
}

ResultCode ResolvePath(const std::string& path, std::string& out) {
  HANDLE handle = OpenForQuery(path);
  if (handle == INVALID_HANDLE_VALUE) return win32::LastResult();
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      FILE_NAME_NORMALIZED);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED);
  }
  const ResultCode rc = n == 0 ? win32::LastResult() : result::kSuccess;
  CloseHandle(handle);
  if (rc != result::kSuccess) return rc;
  buffer.resize(n);
  // "\\?\C:\x" is "C:\x"; "\\?\UNC\server\share" is "\\server\share".
  if (buffer.starts_with(L"\\\\?\\UNC\\")) {
    buffer = L"\\\\" + buffer.substr(8);
  } else if (buffer.starts_with(L"\\\\?\\")) {
    buffer = buffer.substr(4);
  }
  out = win32::Narrow(buffer);
  return result::kSuccess;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  HANDLE first = OpenForQuery(a);
  if (first == INVALID_HANDLE_VALUE) return false;
  HANDLE second = OpenForQuery(b);
  if (second == INVALID_HANDLE_VALUE) {
    CloseHandle(first);
    return false;
  }
  BY_HANDLE_FILE_INFORMATION x{};
  BY_HANDLE_FILE_INFORMATION y{};
  const bool same = GetFileInformationByHandle(first, &x) != 0 &&
                    GetFileInformationByHandle(second, &y) != 0 &&
                    x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
                    x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
  CloseHandle(first);
  CloseHandle(second);
  return same;
}

bool HasAdministratorRights() {
  // An elevated token: what opening \\.\PhysicalDriveN needs.
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == 0) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != 0 &&
      elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

}  // namespace keldrive::platform
