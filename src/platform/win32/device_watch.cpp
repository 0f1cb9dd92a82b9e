#include "platform/device_watch.h"

#include <windows.h>
// ShellExecuteExW needs windows.h first.
#include <shellapi.h>

#include "platform/disk_catalog.h"
#include "platform/file_handle.h"
#include "platform/win32/wide.h"

namespace keldrive::platform {

std::string BlockDeviceSignature(const SystemRoots& roots) {
  // Disks with their partitions' places, and the drive letters in use: cheap IOCTLs only.
  std::vector<PlatformDisk> disks;
  ListDisks(roots, false, disks);
  std::string signature = std::to_string(GetLogicalDrives()) + ";";
  for (const PlatformDisk& disk : disks) {
    signature += disk.name + "=" + std::to_string(disk.lengthBytes) + ";";
  }
  return signature;
}

bool MayRead(const std::string& path) {
  FileHandle file;
  return FileHandle::OpenReadOnly(path, file) == result::kSuccess;
}

bool StartWithDiskRights(const std::string& program, const std::vector<std::string>& arguments,
                         std::string& message) {
  // The "runas" verb asks the user, through UAC, to start the program elevated.
  std::wstring parameters;
  for (const std::string& argument : arguments) {
    if (!parameters.empty()) parameters += L' ';
    parameters += L'"' + win32::Widen(argument) + L'"';
  }
  const std::wstring file = win32::Widen(program);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info) == 0) {
    message =
        "Reading disks needs administrator rights. Start Keldrive again with "
        "\"Run as administrator\".";
    return false;
  }
  return true;
}

}  // namespace keldrive::platform
