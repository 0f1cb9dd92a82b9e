#include "platform/folder_tree.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/win32/wide.h"

namespace keldrive::platform {
namespace {

namespace fs = std::filesystem;

// libstdc++ reports some failures as errno values and others as Win32 codes.
ResultCode FromError(const std::error_code& error) {
  if (!error) return result::kSuccess;
  if (error.category() == std::system_category()) return error.value();
  return ResultFromErrno(error.value());
}

fs::path PathOf(const std::string& utf8) {
  return fs::path(win32::WidePath(utf8));
}

}  // namespace

ResultCode CreateFolderTree(const std::string& path) {
  std::error_code error;
  const fs::path folder = PathOf(path);
  fs::create_directories(folder, error);
  if (error) return FromError(error);
  return fs::is_directory(folder, error) ? result::kSuccess : result::kDirectory;
}

ResultCode CreateFolderExclusive(const std::string& path) {
  if (CreateDirectoryW(win32::WidePath(path).c_str(), nullptr) != 0) return result::kSuccess;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
             ? result::kAlreadyExists
             : static_cast<ResultCode>(error);
}

ResultCode DeleteFolderTree(const std::string& path) {
  std::error_code error;
  // remove_all deletes a junction or symbolic link itself and does not descend through it.
  fs::remove_all(PathOf(path), error);
  return FromError(error);
}

ResultCode ListFolder(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  std::error_code error;
  fs::directory_iterator it(PathOf(path), error);
  if (error) return FromError(error);
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) return FromError(error);
    names.push_back(win32::Narrow(it->path().filename().wstring()));
  }
  if (error) return FromError(error);
  std::sort(names.begin(), names.end());
  return result::kSuccess;
}

}  // namespace keldrive::platform
