#include "platform/known_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace keldrive::platform {

ResultCode ExecutableFolder(std::string& out) {
  // The link may name a path of any length: grow the buffer until the target fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return ResultFromErrno(errno);
    if (static_cast<std::size_t>(n) < buffer.size()) {
      std::string path(buffer.data(), static_cast<std::size_t>(n));
      const auto slash = path.rfind('/');
      if (slash == std::string::npos) return result::kPathNotFound;
      path.resize(slash == 0 ? 1 : slash);
      out = std::move(path);
      return result::kSuccess;
    }
    if (buffer.size() >= 65536) return result::kFilenameTooLong;
    buffer.resize(buffer.size() * 2);
  }
}

ResultCode ApplicationDataFolder(std::string& out) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    // Services and some sudo setups run without HOME; the password database still knows.
    if (const passwd* user = ::getpwuid(::geteuid()); user != nullptr) home = user->pw_dir;
  }
  std::string folder = DataHomeFrom(std::getenv("XDG_DATA_HOME"), home);
  if (folder.empty()) return result::kPathNotFound;
  out = std::move(folder);
  return result::kSuccess;
}

}  // namespace keldrive::platform
