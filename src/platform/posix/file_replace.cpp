#include "platform/file_replace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace keldrive::platform {
namespace {

ResultCode FlushFolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return ResultFromErrno(errno);
  const ResultCode rc = ::fsync(fd) == 0 ? result::kSuccess : ResultFromErrno(errno);
  ::close(fd);
  return rc;
}

}  // namespace

ResultCode ReplaceFile(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return ResultFromErrno(errno);
  return FlushFolderOf(to);
}

ResultCode RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return ResultFromErrno(errno);
  return result::kSuccess;
}

}  // namespace keldrive::platform
