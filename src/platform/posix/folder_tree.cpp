#include "platform/folder_tree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace keldrive::platform {
namespace {

ResultCode FromError(const std::error_code& error) {
  return error ? ResultFromErrno(error.value()) : result::kSuccess;
}

}  // namespace

ResultCode CreateFolderTree(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) return FromError(error);
  return std::filesystem::is_directory(path, error) ? result::kSuccess : result::kDirectory;
}

ResultCode CreateFolderExclusive(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return result::kSuccess;
  return errno == EEXIST ? result::kAlreadyExists : ResultFromErrno(errno);
}

ResultCode DeleteFolderTree(const std::string& path) {
  std::error_code error;
  // remove_all deletes a symbolic link itself and does not descend through it.
  std::filesystem::remove_all(path, error);
  return FromError(error);
}

ResultCode ListFolder(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  std::error_code error;
  std::filesystem::directory_iterator it(path, error);
  if (error) return FromError(error);
  for (const std::filesystem::directory_iterator end; it != end; it.increment(error)) {
    if (error) return FromError(error);
    names.push_back(it->path().filename().string());
  }
  if (error) return FromError(error);
  std::sort(names.begin(), names.end());
  return result::kSuccess;
}

}  // namespace keldrive::platform
