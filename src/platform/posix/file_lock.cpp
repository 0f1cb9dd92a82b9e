#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace keldrive::platform {

FileLock::~FileLock() {
  Release();
}

ResultCode FileLock::Acquire(const std::string& path) {
  Release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return ResultFromErrno(errno);
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    ::close(fd);
    return ResultFromErrno(error);
  }
  fd_ = fd;
  return result::kSuccess;
}

void FileLock::Release() {
  if (fd_ < 0) return;
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

bool FileLock::Held() const {
  return fd_ >= 0;
}

}  // namespace keldrive::platform
