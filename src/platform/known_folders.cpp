#include "platform/known_folders.h"

namespace keldrive::platform {

std::string DataHomeFrom(const char* xdgDataHome, const char* home) {
  if (xdgDataHome != nullptr && xdgDataHome[0] == '/') return xdgDataHome;
  if (home != nullptr && home[0] == '/') {
    std::string folder = home;
    if (folder.back() != '/') folder += '/';
    return folder + ".local/share";
  }
  return {};
}

}  // namespace keldrive::platform
