#pragma once

#include <string>

#include "platform/system_roots.h"

namespace keldrive::platform {

// Whether files written under `folder` (or under its nearest existing parent) would land on
// the medium `mediumPath` itself: recovering a medium's files onto that medium would
// overwrite the deleted data being recovered.
//
// A block device is hit when the folder's file system lies on it or on one of its
// partitions, mounted by the kernel or through a FUSE driver given the device. An image
// file is hit when the folder's file system lies on a loop device backed by the image (or
// a partition of one), or is a FUSE file system (ntfs-3g, fuse-ext2 ...) given the image
// file itself.
bool FolderIsOnMedium(const std::string& folder, const std::string& mediumPath,
                      const SystemRoots& roots = SystemRoots{});

// The block-device half of FolderIsOnMedium: false when `devicePath` is not a block device.
bool FolderIsOnDevice(const std::string& folder, const std::string& devicePath,
                      const SystemRoots& roots = SystemRoots{});

}  // namespace keldrive::platform
