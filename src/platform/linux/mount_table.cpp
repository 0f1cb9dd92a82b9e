#include "platform/mount_table.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <cerrno>

#include "platform/volume_probe.h"

namespace keldrive::platform {

ResultCode QuerySpace(const std::string& path, std::uint64_t& totalBytes,
                      std::uint64_t& freeBytes) {
  struct statvfs info {};
  if (::statvfs(path.c_str(), &info) != 0) return ResultFromErrno(errno);
  const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
  totalBytes = static_cast<std::uint64_t>(info.f_blocks) * unit;
  freeBytes = static_cast<std::uint64_t>(info.f_bfree) * unit;
  return result::kSuccess;
}

ResultCode QueryFileSystemName(const std::string& path, std::string& name,
                               const SystemRoots& roots) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return ResultFromErrno(errno);
  const std::string device =
      std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
  for (const MountEntry& mount : ReadMountTable(roots.proc + "/self/mountinfo")) {
    if (mount.device != device) continue;
    FileSystemInfo probed;
    name = ProbeFileSystem(mount.source, probed) ? probed.name
                                                 : FileSystemDisplayName(mount.fileSystem, "");
    return result::kSuccess;
  }
  return result::kPathNotFound;
}

}  // namespace keldrive::platform
