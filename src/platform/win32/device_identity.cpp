#include "platform/device_identity.h"

#include <windows.h>
#include <winioctl.h>

#include <vector>

#include "platform/file_handle.h"
#include "platform/path_info.h"
#include "platform/win32/wide.h"

namespace keldrive::platform {
namespace {

std::string SerialOf(const std::string& path) {
  HANDLE handle = CreateFileW(win32::WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  std::vector<std::uint8_t> buffer(1024);
  DWORD returned = 0;
  std::string serial;
  if (DeviceIoControl(handle, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(),
                      static_cast<DWORD>(buffer.size()), &returned, nullptr) != 0 &&
      returned >= sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
    const DWORD at = descriptor->SerialNumberOffset;
    if (at != 0 && at < returned) {
      for (DWORD i = at; i < returned && buffer[i] != 0; ++i)
        serial += static_cast<char>(buffer[i]);
      while (!serial.empty() && serial.front() == ' ') serial.erase(serial.begin());
      while (!serial.empty() && serial.back() == ' ') serial.pop_back();
    }
  }
  CloseHandle(handle);
  return serial;
}

}  // namespace

bool QueryMediumIdentity(const std::string& path, MediumIdentity& out, const SystemRoots&) {
  out = MediumIdentity{};
  FileHandle file;
  if (FileHandle::OpenReadOnly(path, file) != result::kSuccess) return false;
  if (file.QuerySize(out.sizeBytes) != result::kSuccess) return false;
  out.isDevice = file.IsBlockDevice();
  if (!out.isDevice) return QueryLastWriteTime(path, out.writeTime) == result::kSuccess;
  out.serial = SerialOf(path);
  return true;
}

}  // namespace keldrive::platform
