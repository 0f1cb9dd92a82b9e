#include "platform/mount_table.h"

#include <windows.h>

#include "platform/volume_probe.h"
#include "platform/win32/wide.h"

namespace keldrive::platform {
namespace {

// The root of the volume that holds `path` ("C:\", or a folder a volume is mounted on).
bool VolumeRootOf(const std::string& path, std::wstring& root) {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  if (GetVolumePathNameW(win32::WidePath(path).c_str(), buffer.data(),
                         static_cast<DWORD>(buffer.size())) == 0) {
    return false;
  }
  root = buffer.c_str();
  return true;
}

}  // namespace

ResultCode QuerySpace(const std::string& path, std::uint64_t& totalBytes,
                      std::uint64_t& freeBytes) {
  ULARGE_INTEGER total{};
  ULARGE_INTEGER free{};
  // The free bytes of the whole volume, not only those this user's quota allows.
  if (GetDiskFreeSpaceExW(win32::WidePath(path).c_str(), nullptr, &total, &free) == 0) {
    // A missing place is "no such file" on every system, as statvfs's ENOENT.
    const ResultCode rc = win32::LastResult();
    return rc == result::kPathNotFound ? result::kFileNotFound : rc;
  }
  totalBytes = total.QuadPart;
  freeBytes = free.QuadPart;
  return result::kSuccess;
}

ResultCode QueryFileSystemName(const std::string& path, std::string& name, const SystemRoots&) {
  std::wstring root;
  if (!VolumeRootOf(path, root)) return win32::LastResult();
  wchar_t fileSystem[MAX_PATH + 1] = {};
  if (GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                            MAX_PATH + 1) == 0) {
    return win32::LastResult();
  }
  // Windows says "FAT" for FAT12 and FAT16 and "FAT32" for FAT32, as FileSystemDisplayName.
  const std::string system = win32::Narrow(fileSystem);
  name = system == "exFAT" || system == "EXFAT" ? "exFAT" : system;
  return result::kSuccess;
}

}  // namespace keldrive::platform
