#include "platform/mount_table.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <fstream>
#include <sstream>

#include "platform/volume_probe.h"

namespace keldrive::platform {
namespace {

// mountinfo escapes space, tab, newline and backslash as \ooo.
std::string Unescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

}  // namespace

std::vector<MountEntry> ReadMountTable(const std::string& mountinfoPath) {
  std::vector<MountEntry> mounts;
  std::ifstream file(mountinfoPath);
  std::string line;
  while (std::getline(file, line)) {
    // id parent major:minor root mount-point options [optional...] - type source super
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint, options, field;
    if (!(fields >> id >> parent >> device >> root >> mountPoint >> options)) continue;
    while (fields >> field && field != "-") {
    }
    if (field != "-") continue;
    MountEntry entry;
    if (!(fields >> entry.fileSystem >> entry.source)) continue;
    entry.device = device;
    entry.root = Unescape(root);
    entry.mountPoint = Unescape(mountPoint);
    entry.source = Unescape(entry.source);
    mounts.push_back(std::move(entry));
  }
  return mounts;
}

std::string FindMountPoint(const std::vector<MountEntry>& mounts, const std::string& device,
                           const std::string& devicePath) {
  const MountEntry* found = nullptr;
  for (const MountEntry& mount : mounts) {
    if (mount.device != device && (devicePath.empty() || mount.source != devicePath)) continue;
    if (mount.root == "/") return mount.mountPoint;
    if (found == nullptr) found = &mount;
  }
  return found != nullptr ? found->mountPoint : std::string();
}

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
