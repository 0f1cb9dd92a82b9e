#pragma once

#include <cstdint>
#include <string>

#include "platform/result_code.h"
#include "platform/system_roots.h"

namespace keldrive {

// Small questions about media that the user interface, the scan history and the imaging
// dialog ask.

// True when disk `diskNumber` holds removable media or sits on a USB or memory-card bus;
// false also when there is no such disk.
bool IsRemovableDisk(int diskNumber, const platform::SystemRoots& roots = platform::SystemRoots{});

ResultCode GetDiskLength(int diskNumber, std::uint64_t& lengthBytes,
                         const platform::SystemRoots& roots = platform::SystemRoots{});

// Free bytes of the file system that holds `volumeRoot` (a drive root such as "E:\" on
// Windows, a mount point or any path on the volume elsewhere).
ResultCode GetFreeBytes(const std::string& volumeRoot, std::uint64_t& freeBytes);

// The name of the file system that holds `volumeRoot`: "NTFS", "FAT32", "FAT", "exFAT",
// "ext4", ...
ResultCode GetFileSystemName(const std::string& volumeRoot, std::string& name,
                             const platform::SystemRoots& roots = platform::SystemRoots{});

ResultCode GetFileSize(const std::string& path, std::uint64_t& sizeBytes);

}  // namespace keldrive
