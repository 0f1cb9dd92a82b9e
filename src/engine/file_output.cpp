#include "engine/file_output.h"

#include <algorithm>

#include "engine/preview_target.h"
#include "engine/recovery_target.h"
#include "engine/unreadable_data.h"
#include "platform/file_handle.h"
#include "platform/file_replace.h"
#include "platform/folder_tree.h"

namespace keldrive {

ResultCode WriteFoundFileTo(const std::string& path, const FoundFile& record,
                            const CopyFileData& copy, const PieceReport& report) {
  platform::FileHandle file;
  ResultCode rc = platform::FileHandle::CreateAlways(path, file);
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (rc != result::kSuccess && path.find(':', nameStart) != std::string::npos) {
    // A target that refuses ":" (a FAT or NTFS mount) gets the name without it.
    rc = platform::FileHandle::CreateAlways(
        path.substr(0, nameStart) + PortableFileName(path.substr(nameStart)), file);
  }
  if (rc != result::kSuccess) return report(100, rc);
  BeginWrittenFile(path);
  return copy(
      record.size, [&](std::span<const std::uint8_t> piece) { return file.Write(piece); }, report);
}

ResultCode ExtractPreview(const std::string& previewFolder, const FoundFile& record,
                          std::string& tempPath, std::span<std::uint8_t> buffer,
                          std::uint32_t& size, ListProgressCallback progress, void* context,
                          const CopyFileData& copy) {
  const std::uint32_t capacity = size;
  size = 0;
  const PieceReport report = [&](std::int32_t percent, ResultCode current) -> ResultCode {
    return progress != nullptr ? progress(context, percent, current) : current;
  };
  if (record.clusterBytes > kMaxClusterBytes && record.clusterBytes != 0xFFFFFFFF) {
    tempPath.clear();
    return report(100, result::kWriteFault);
  }
  tempPath = PreviewFilePath(previewFolder, record.Name());
  if (tempPath.empty()) {
    const std::uint64_t limit = std::min<std::uint64_t>({record.size, capacity, buffer.size()});
    return copy(
        limit,
        [&](std::span<const std::uint8_t> piece) {
          const std::size_t room = buffer.size() - size;
          const std::size_t n = std::min(piece.size(), room);
          std::copy_n(piece.begin(), n, buffer.begin() + size);
          size += static_cast<std::uint32_t>(n);
          return result::kSuccess;
        },
        report);
  }
  platform::CreateFolderTree(previewFolder);
  platform::RemoveFile(tempPath);
  const ResultCode rc = WriteFoundFileTo(tempPath, record, copy, report);
  if (rc != result::kSuccess) {
    platform::RemoveFile(tempPath);
    tempPath.clear();
  }
  return rc;
}

}  // namespace keldrive
