#pragma once

#include <string>

namespace keldrive::platform {

// Where the Linux platform layer finds the kernel's view of the machine. Tests point these
// at a small fake tree.
struct SystemRoots {
  std::string sys = "/sys";
  std::string proc = "/proc";
  std::string dev = "/dev";
  std::string udevData = "/run/udev/data";
};

}  // namespace keldrive::platform
