#include "platform/instance_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace keldrive::platform {
namespace {

// $XDG_RUNTIME_DIR is the user's own; /tmp is shared, so the user's number goes in the name.
std::string LockPath(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/" + name + ".lock";
  return "/tmp/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

}  // namespace

InstanceMutex::~InstanceMutex() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the lock
}

ResultCode InstanceMutex::Claim(const std::string& name) {
  if (fd_ >= 0) return result::kSuccess;
  // O_NOFOLLOW: a link planted in /tmp must not lead the open elsewhere.
  const int fd = ::open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return ResultFromErrno(errno);
  // flock belongs to the open file, so a second Claim in this process is refused as well.
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? result::kAlreadyExists : ResultFromErrno(error);
  }
  fd_ = fd;
  return result::kSuccess;
}

}  // namespace keldrive::platform
