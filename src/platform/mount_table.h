#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/result_code.h"
#include "platform/system_roots.h"

namespace keldrive::platform {

struct MountEntry {
  std::string device;  // "major:minor"
  std::string root;    // the part of the file system mounted here ("/" for all of it)
  std::string mountPoint;
  std::string fileSystem;  // the kernel's type name
  std::string source;      // "/dev/sda1"
};

// Parses a /proc/<pid>/mountinfo file; unreadable or malformed lines are skipped.
std::vector<MountEntry> ReadMountTable(const std::string& mountinfoPath);

// The mount point of a device found by its "major:minor" number or its device path; a
// mount of the whole file system is preferred over bind mounts of a part of it.
std::string FindMountPoint(const std::vector<MountEntry>& mounts, const std::string& device,
                           const std::string& devicePath);

// Total and free bytes of the file system that holds `path`.
ResultCode QuerySpace(const std::string& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes);

// The display name of the file system that holds `path` (see FileSystemDisplayName): read
// from the device when it can be, else the kernel's name for it.
ResultCode QueryFileSystemName(const std::string& path, std::string& name,
                               const SystemRoots& roots);

}  // namespace keldrive::platform
