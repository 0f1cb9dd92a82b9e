#pragma once

#include <string>

#include "platform/result_code.h"

namespace keldrive::platform {

// An exclusive lock on a file, held from a successful Acquire until Release or destruction.
// Processes that share a data folder (two commands, or the command line and the desktop
// program) take it around every change of the files they share. The lock file is created
// when missing and never written; the system drops the lock when the process ends.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Waits until the lock is ours.
  ResultCode Acquire(const std::string& path);
  void Release();
  bool Held() const;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

}  // namespace keldrive::platform
