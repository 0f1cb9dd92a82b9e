#include "disk/medium_queries.h"

#include <vector>

#include "platform/disk_catalog.h"
#include "platform/file_handle.h"
#include "platform/mount_table.h"

namespace keldrive {
namespace {

ResultCode FindDisk(int diskNumber, const platform::SystemRoots& roots,
                    platform::PlatformDisk& out) {
  std::vector<platform::PlatformDisk> disks;
  if (const ResultCode rc = platform::ListDisks(roots, false, disks); rc != result::kSuccess) {
    return rc;
  }
  if (diskNumber < 0 || static_cast<std::size_t>(diskNumber) >= disks.size()) {
    return result::kFileNotFound;
  }
  out = disks[static_cast<std::size_t>(diskNumber)];
  return result::kSuccess;
}

}  // namespace

bool IsRemovableDisk(int diskNumber, const platform::SystemRoots& roots) {
  platform::PlatformDisk disk;
  if (FindDisk(diskNumber, roots, disk) != result::kSuccess) return false;
  return disk.geometry.mediaType == platform::kMediaRemovable || disk.usbOrCardBus;
}

ResultCode GetDiskLength(int diskNumber, std::uint64_t& lengthBytes,
                         const platform::SystemRoots& roots) {
  platform::PlatformDisk disk;
  if (const ResultCode rc = FindDisk(diskNumber, roots, disk); rc != result::kSuccess) return rc;
  lengthBytes = disk.lengthBytes;
  return result::kSuccess;
}

ResultCode GetFreeBytes(const std::string& volumeRoot, std::uint64_t& freeBytes) {
  std::uint64_t total = 0;
  return platform::QuerySpace(volumeRoot, total, freeBytes);
}

ResultCode GetFileSystemName(const std::string& volumeRoot, std::string& name,
                             const platform::SystemRoots& roots) {
  return platform::QueryFileSystemName(volumeRoot, name, roots);
}

ResultCode GetFileSize(const std::string& path, std::uint64_t& sizeBytes) {
  platform::FileHandle file;
  if (const ResultCode rc = platform::FileHandle::OpenReadOnly(path, file);
      rc != result::kSuccess) {
    return rc;
  }
  return file.QuerySize(sizeBytes);
}

}  // namespace keldrive
