#include "platform/same_storage.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/mount_table.h"

namespace keldrive::platform {
namespace {

namespace fs = std::filesystem;

std::string DeviceText(dev_t device) {
  return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

std::string FirstLine(const fs::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

// What a medium is, to compare places against.
struct MediumId {
  bool isBlock = false;
  dev_t rdev = 0;  // block devices
  dev_t dev = 0;   // files: the file's own device and inode
  ino_t ino = 0;
};

std::optional<MediumId> IdentifyMedium(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  MediumId id;
  if (S_ISBLK(st.st_mode)) {
    id.isBlock = true;
    id.rdev = st.st_rdev;
  } else if (S_ISREG(st.st_mode)) {
    id.dev = st.st_dev;
    id.ino = st.st_ino;
  } else {
    return std::nullopt;
  }
  return id;
}

bool SameFile(const std::string& path, const MediumId& medium) {
  struct stat st {};
  return !medium.isBlock && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         st.st_dev == medium.dev && st.st_ino == medium.ino;
}

// The device number of the nearest existing folder at or above `folder`.
std::optional<dev_t> DeviceOfPlace(const std::string& folder) {
  std::error_code ec;
  fs::path existing = fs::absolute(folder, ec);
  if (ec) return std::nullopt;
  struct stat place {};
  while (::stat(existing.c_str(), &place) != 0) {
    if (!existing.has_parent_path() || existing.parent_path() == existing) return std::nullopt;
    existing = existing.parent_path();
  }
  return place.st_dev;
}

// A block device given as "major:minor", and the disk holding it when it is a partition.
std::vector<std::string> DeviceAndDisk(const SystemRoots& roots, const std::string& device) {
  std::vector<std::string> devices{device};
  std::error_code ec;
  const auto entry = fs::canonical(fs::path(roots.sys) / "dev" / "block" / device, ec);
  if (ec) return devices;
  // A partition's sysfs entry lies inside its disk's, which holds the disk's number; a
  // disk's parent folder has none.
  const std::string disk = FirstLine(entry.parent_path() / "dev");
  if (!disk.empty()) devices.push_back(disk);
  return devices;
}

// The block devices and files that hold the file system mounted with device number `dev`:
// the device itself, and for FUSE file systems what they were given as their source.
void BackingOf(const SystemRoots& roots, dev_t dev, std::vector<std::string>& blockDevices,
               std::vector<std::string>& files) {
  const std::string device = DeviceText(dev);
  for (const std::string& d : DeviceAndDisk(roots, device)) blockDevices.push_back(d);
  for (const MountEntry& mount : ReadMountTable(roots.proc + "/self/mountinfo")) {
    if (mount.device != device || mount.fileSystem.rfind("fuse", 0) != 0) continue;
    struct stat source {};
    if (::stat(mount.source.c_str(), &source) != 0) continue;
    if (S_ISBLK(source.st_mode)) {
      for (const std::string& d : DeviceAndDisk(roots, DeviceText(source.st_rdev))) {
        blockDevices.push_back(d);
      }
    } else if (S_ISREG(source.st_mode)) {
      files.push_back(mount.source);
    }
  }
}

}  // namespace

bool FolderIsOnMedium(const std::string& folder, const std::string& mediumPath,
                      const SystemRoots& roots) {
  const auto medium = IdentifyMedium(mediumPath);
  const auto place = DeviceOfPlace(folder);
  if (!medium || !place) return false;
  std::vector<std::string> blockDevices, files;
  BackingOf(roots, *place, blockDevices, files);
  for (const std::string& device : blockDevices) {
    if (medium->isBlock && device == DeviceText(medium->rdev)) return true;
    // A loop device, or a partition of one, backed by the image.
    const std::string backing =
        FirstLine(fs::path(roots.sys) / "dev" / "block" / device / "loop" / "backing_file");
    if (!backing.empty() && SameFile(backing, *medium)) return true;
  }
  for (const std::string& file : files) {
    if (SameFile(file, *medium)) return true;
  }
  return false;
}

bool FolderIsOnDevice(const std::string& folder, const std::string& devicePath,
                      const SystemRoots& roots) {
  const auto medium = IdentifyMedium(devicePath);
  return medium && medium->isBlock && FolderIsOnMedium(folder, devicePath, roots);
}

}  // namespace keldrive::platform
