#pragma once

#include <string>
#include <vector>

#include "platform/system_roots.h"

namespace keldrive::platform {

// A short text that changes whenever a disk or partition arrives, leaves or changes size:
// the desktop program compares it every few seconds to rebuild its media list. Cheap
// enough to take that often (it reads names and sizes, never a disk).
std::string BlockDeviceSignature(const SystemRoots& roots = SystemRoots{});

// Whether this process may open `path` for reading; disks usually need root.
bool MayRead(const std::string& path);

// Starts `program` with `arguments` again with the rights to read disks, through polkit's
// pkexec, and returns at once. False with a message for the user when that is not possible.
bool StartWithDiskRights(const std::string& program, const std::vector<std::string>& arguments,
                         std::string& message);

}  // namespace keldrive::platform
