#pragma once

#include <cstdint>
#include <string>

#include "platform/result_code.h"

namespace keldrive::platform {

// Times to give a file, each a FILETIME (100-nanosecond intervals since 1601-01-01); 0
// leaves that time as it is. `local` says they are wall-clock times of this machine's time
// zone (as FAT keeps them) rather than UTC.
struct FileTimeStamps {
  std::uint64_t created = 0;
  std::uint64_t accessed = 0;
  std::uint64_t modified = 0;
  bool local = false;
};

// Sets the access and modification times of the file at `path`, and its creation time
// where the platform can (not on Linux, whose file systems set it themselves).
ResultCode SetFileTimes(const std::string& path, const FileTimeStamps& times);

}  // namespace keldrive::platform
