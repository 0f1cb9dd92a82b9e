#include "app/app_folder.h"

#include <algorithm>

#include "platform/folder_tree.h"
#include "platform/known_folders.h"

namespace keldrive {

ResultCode AppFolder(std::string& out) {
  std::string folder;
  if (const ResultCode rc = platform::ExecutableFolder(folder); rc != result::kSuccess) {
    return rc;
  }
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (!folder.ends_with('/')) folder += '/';
  out = std::move(folder);
  return result::kSuccess;
}

ResultCode LocateScanLogRoot(std::string& out) {
  std::string folder;
  if (const ResultCode rc = platform::ApplicationDataFolder(folder); rc != result::kSuccess) {
    return rc;
  }
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (!folder.ends_with('/')) folder += '/';
  out = folder + "Keldrive/ScanLog";
  return result::kSuccess;
}

ResultCode PrepareScanLogRoot(std::string& out) {
  std::string root;
  if (const ResultCode rc = LocateScanLogRoot(root); rc != result::kSuccess) return rc;
  if (const ResultCode rc = platform::CreateFolderTree(root); rc != result::kSuccess) return rc;
  out = std::move(root);
  return result::kSuccess;
}

}  // namespace keldrive
