#include "platform/file_handle.h"

namespace keldrive::platform {

ResultCode FileHandle::OpenReadOnly(const std::string& path, FileHandle& out) {
  return Open(path, OpenMode::kReadOnly, out);
}

ResultCode FileHandle::CreateAlways(const std::string& path, FileHandle& out) {
  return Open(path, OpenMode::kCreateAlways, out);
}

ResultCode FileHandle::OpenAlways(const std::string& path, FileHandle& out) {
  return Open(path, OpenMode::kOpenAlways, out);
}

}  // namespace keldrive::platform
