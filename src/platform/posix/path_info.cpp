#include "platform/path_info.h"

#include <sys/stat.h>
#include <unistd.h>

namespace keldrive::platform {

PathKind QueryPathKind(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return PathKind::kMissing;
  if (S_ISREG(info.st_mode)) return PathKind::kRegularFile;
  if (S_ISDIR(info.st_mode)) return PathKind::kDirectory;
  if (S_ISBLK(info.st_mode)) return PathKind::kBlockDevice;
  return PathKind::kOther;
}

bool HasAdministratorRights() {
  return ::geteuid() == 0;
}

}  // namespace keldrive::platform
