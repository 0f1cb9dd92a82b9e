#include "platform/file_ops.h"

#include <unistd.h>

#include <cerrno>

namespace keldrive::platform {

ResultCode RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return ResultFromErrno(errno);
  return result::kSuccess;
}

}  // namespace keldrive::platform
