#pragma once

#include <cstdint>
#include <string>

#include "platform/result_code.h"

namespace keldrive::platform {

// Whether a file name may hold ":" here: Windows reads it as the start of a stream name;
// most POSIX file systems take it (FAT and NTFS mounts refuse it at creation).
#ifdef _WIN32
inline constexpr bool kNamesMayHoldColon = false;
#else
inline constexpr bool kNamesMayHoldColon = true;
#endif

// Whether a backslash separates names as "/" does: on Windows, whose resolved paths use
// it; elsewhere it is a character of a name.
#ifdef _WIN32
inline constexpr bool kBackslashSeparates = true;
#else
inline constexpr bool kBackslashSeparates = false;
#endif

// A path as people here read it: the core joins names with "/", which Windows also takes,
// but Windows users expect backslashes.
inline std::string NativeSeparators(std::string path) {
  if constexpr (kBackslashSeparates) {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
  }
  return path;
}

enum class PathKind { kMissing, kRegularFile, kDirectory, kBlockDevice, kOther };

PathKind QueryPathKind(const std::string& path);

// The last-write time of a file as a FILETIME (100 ns units since 1601-01-01, UTC), read
// without opening the file.
ResultCode QueryLastWriteTime(const std::string& path, std::uint64_t& fileTime);

// The absolute path of an existing file or folder with every symbolic link, "." and ".."
// resolved, so two names for the same place compare equal.
ResultCode ResolvePath(const std::string& path, std::string& out);

// True when both paths name one existing file or device, whatever links lead to it.
bool IsSameFile(const std::string& a, const std::string& b);

// True for root (Administrator on Windows), who alone may read raw disks.
bool HasAdministratorRights();

}  // namespace keldrive::platform
