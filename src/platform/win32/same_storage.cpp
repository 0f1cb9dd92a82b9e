#include "platform/same_storage.h"

#include <windows.h>
#include <winioctl.h>

#include <optional>
#include <vector>

#include "platform/win32/wide.h"

namespace keldrive::platform {
namespace {

struct DeviceNumber {
  DWORD type = 0;
  DWORD device = 0;
  DWORD partition = 0;
};

std::optional<DeviceNumber> NumberOf(const std::wstring& devicePath) {
  HANDLE handle = CreateFileW(devicePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  STORAGE_DEVICE_NUMBER number{};
  DWORD returned = 0;
  const bool ok = DeviceIoControl(handle, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number,
                                  sizeof number, &returned, nullptr) != 0;
  CloseHandle(handle);
  if (!ok) return std::nullopt;
  return DeviceNumber{number.DeviceType, number.DeviceNumber, number.PartitionNumber};
}

// The volume device ("\\.\C:" or "\\?\Volume{...}") of the nearest existing folder at or
// above `folder`.
std::optional<std::wstring> VolumeDeviceOf(const std::string& folder) {
  std::wstring root(MAX_PATH + 1, L'\0');
  if (GetVolumePathNameW(win32::WidePath(folder).c_str(), root.data(),
                         static_cast<DWORD>(root.size())) == 0) {
    return std::nullopt;
  }
  root.resize(wcslen(root.c_str()));
  wchar_t name[MAX_PATH + 1] = {};
  if (GetVolumeNameForVolumeMountPointW(root.c_str(), name, MAX_PATH + 1) == 0) {
    return std::nullopt;
  }
  std::wstring device = name;
  if (!device.empty() && device.back() == L'\\') device.pop_back();
  return device;
}

}  // namespace

bool FolderIsOnDevice(const std::string& folder, const std::string& devicePath,
                      const SystemRoots&) {
  if (!win32::IsDevicePath(devicePath)) return false;
  const std::optional<std::wstring> volume = VolumeDeviceOf(folder);
  if (!volume) return false;
  const std::optional<DeviceNumber> place = NumberOf(*volume);
  const std::optional<DeviceNumber> medium = NumberOf(win32::WidePath(devicePath));
  if (!place || !medium || place->type != medium->type || place->device != medium->device) {
    return false;
  }
  // A whole disk (partition 0) holds every volume on it; a volume only itself.
  return medium->partition == 0 || medium->partition == place->partition;
}

bool FolderIsOnMedium(const std::string& folder, const std::string& mediumPath,
                      const SystemRoots& roots) {
  // An image file is only written over when it is attached as a virtual disk, which the
  // Windows layer does not follow; devices are compared by disk and partition number.
  return FolderIsOnDevice(folder, mediumPath, roots);
}

}  // namespace keldrive::platform
