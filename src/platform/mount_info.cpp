#include <fstream>
#include <sstream>

#include "platform/mount_table.h"

// The mountinfo reader is plain text work: it builds everywhere, and runs on Linux.
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

}  // namespace keldrive::platform
