#pragma once

#include <string>

#include "platform/system_roots.h"

namespace keldrive::platform {

// Whether files written under `folder` (or under its nearest existing parent) would land on
// the block device `devicePath` itself or on one of its partitions: recovering a medium's
// files onto that medium would overwrite the deleted data being recovered.
bool FolderIsOnDevice(const std::string& folder, const std::string& devicePath,
                      const SystemRoots& roots = SystemRoots{});

}  // namespace keldrive::platform
