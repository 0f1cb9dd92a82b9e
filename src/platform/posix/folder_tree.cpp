#include "platform/folder_tree.h"

#include <sys/stat.h>

#include <cerrno>

namespace keldrive::platform {

ResultCode CreateFolderTree(const std::string& path) {
  if (path.empty()) return result::kPathNotFound;
  // Create each missing component from the top down.
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
      return ResultFromErrno(errno);
    }
    if (end == std::string::npos) break;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return ResultFromErrno(errno);
  return S_ISDIR(info.st_mode) ? result::kSuccess : result::kAlreadyExists;
}

}  // namespace keldrive::platform
