#include "engine/folder_recovery.h"

#include <deque>
#include <vector>

#include "engine/recovery_target.h"
#include "platform/folder_tree.h"

namespace keldrive {

ResultCode RecoverFoundItem(IFileRecoveryParse& engine, const FoundFile& record,
                            const std::string& targetPath, std::int32_t depthOffset,
                            const WriteFoundFile& writeFile) {
  if (record.isFolder == 0) {
    if (const ResultCode rc = CreateParentFolder(targetPath); rc != result::kSuccess) return rc;
    return writeFile(record, targetPath);
  }
  if (const ResultCode rc = platform::CreateFolderTree(targetPath); rc != result::kSuccess) {
    return rc;
  }
  // Each queued folder carries the path of the folder that holds it.
  struct Pending {
    FoundFile folder;
    std::string containerPath;
  };
  std::deque<Pending> queue{{record, {}}};
  ResultCode result = result::kSuccess;
  bool first = true;
  while (!queue.empty()) {
    Pending item = std::move(queue.front());
    queue.pop_front();
    const std::string folderPath =
        first ? targetPath : JoinPath(item.containerPath, SafeFileName(item.folder.Name()));
    first = false;
    const auto depth = static_cast<std::int32_t>(CountPathSeparators(folderPath)) - depthOffset;
    std::vector<FoundFile> children;
    result = engine.ListFolder(&item.folder, depth, children);
    for (const FoundFile& child : children) {
      std::string childPath = JoinPath(folderPath, SafeFileName(child.Name()));
      if (!IsInsideFolder(childPath, targetPath)) continue;
      if (child.isFolder != 0) {
        platform::CreateFolderTree(childPath);
        queue.push_back({child, folderPath});
        continue;
      }
      result = writeFile(child, FreeTargetPath(childPath));
      if (result == ResultCancelled) return result;
    }
  }
  return result;
}

}  // namespace keldrive
