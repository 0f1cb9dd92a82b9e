#include "platform/same_storage.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

namespace keldrive::platform {
namespace {

std::string DeviceText(dev_t device) {
  return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

}  // namespace

bool FolderIsOnDevice(const std::string& folder, const std::string& devicePath,
                      const SystemRoots& roots) {
  struct stat medium {};
  if (::stat(devicePath.c_str(), &medium) != 0 || !S_ISBLK(medium.st_mode)) return false;
  // The folder may not exist yet: its nearest existing parent decides.
  std::filesystem::path existing = std::filesystem::absolute(folder);
  struct stat place {};
  while (::stat(existing.c_str(), &place) != 0) {
    if (!existing.has_parent_path() || existing.parent_path() == existing) return false;
    existing = existing.parent_path();
  }
  if (place.st_dev == medium.st_rdev) return true;
  // A partition's sysfs entry lies inside its disk's, which holds the disk's number.
  std::error_code ec;
  const auto entry = std::filesystem::canonical(
      std::filesystem::path(roots.sys) / "dev" / "block" / DeviceText(place.st_dev), ec);
  if (ec) return false;
  std::ifstream parent(entry.parent_path() / "dev");
  std::string parentDevice;
  std::getline(parent, parentDevice);
  return parentDevice == DeviceText(medium.st_rdev);
}

}  // namespace keldrive::platform
