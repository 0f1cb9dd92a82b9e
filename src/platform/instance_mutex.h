#pragma once

#include <string>

#include "platform/result_code.h"

namespace keldrive::platform {

// The mark of a program's first copy. On Windows it is the named mutex "Global\NAME", one
// for the whole machine; elsewhere it is a lock on the file NAME.lock in the user's runtime
// folder. Held from a successful Claim until the object goes away; the system lets go
// when the process ends, however it ends, so a crashed copy never blocks the next.
class InstanceMutex {
 public:
  InstanceMutex() = default;
  ~InstanceMutex();
  InstanceMutex(const InstanceMutex&) = delete;
  InstanceMutex& operator=(const InstanceMutex&) = delete;

  // result::kSuccess when this object now holds the mark, result::kAlreadyExists when
  // another copy (or another object of this process) holds it; any other code when it
  // cannot be told.
  ResultCode Claim(const std::string& name);

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace keldrive::platform
