#include "platform/path_info.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace keldrive::platform {

PathKind QueryPathKind(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return PathKind::kMissing;
  if (S_ISREG(info.st_mode)) return PathKind::kRegularFile;
  if (S_ISDIR(info.st_mode)) return PathKind::kDirectory;
  if (S_ISBLK(info.st_mode)) return PathKind::kBlockDevice;
  return PathKind::kOther;
}

ResultCode QueryLastWriteTime(const std::string& path, std::uint64_t& fileTime) {
  // Seconds from 1601-01-01 to 1970-01-01, and FILETIME ticks per second.
  constexpr std::int64_t kEpochDifference = 11'644'473'600;
  constexpr std::int64_t kTicksPerSecond = 10'000'000;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return ResultFromErrno(errno);
  const std::int64_t seconds = static_cast<std::int64_t>(info.st_mtim.tv_sec) + kEpochDifference;
  if (seconds < 0 || seconds > INT64_MAX / kTicksPerSecond - 1) return result::kInvalidParameter;
  fileTime = static_cast<std::uint64_t>(seconds * kTicksPerSecond + info.st_mtim.tv_nsec / 100);
  return result::kSuccess;
}

ResultCode ResolvePath(const std::string& path, std::string& out) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                             &std::free);
  if (!resolved) return ResultFromErrno(errno);
  out = resolved.get();
  return result::kSuccess;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  if (S_ISBLK(first.st_mode) && S_ISBLK(second.st_mode)) return first.st_rdev == second.st_rdev;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool HasAdministratorRights() {
  return ::geteuid() == 0;
}

}  // namespace keldrive::platform
