#pragma once

#include <cstdint>
#include <string>

#include "platform/system_roots.h"

namespace keldrive::platform {

// What tells one medium from another, and the same medium before and after it changed: an
// image file's size and last-write time; a device's size and whatever ids the system gives
// (the disk's serial number, the partition's and the file system's UUIDs). Empty fields are
// unknown, not different.
struct MediumIdentity {
  bool isDevice = false;
  std::uint64_t sizeBytes = 0;
  std::uint64_t writeTime = 0;  // files: FILETIME of the last write
  std::string serial;           // devices: the disk's serial number
  std::string partitionUuid;    // devices: the partition's GUID or MBR id
  std::string fileSystemUuid;   // devices: the file system's serial or UUID
};

// False when the path cannot be examined.
bool QueryMediumIdentity(const std::string& path, MediumIdentity& out,
                         const SystemRoots& roots = SystemRoots{});

}  // namespace keldrive::platform
