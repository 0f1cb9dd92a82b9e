#include "session/image_target.h"

#include <algorithm>
#include <cctype>

#include "disk/checked_math.h"
#include "disk/medium_queries.h"
#include "platform/same_storage.h"
#include "platform/utf8_path.h"

namespace keldrive {
namespace {

// FAT32 keeps file sizes in 32 bits, so its largest file is one byte short of 4 GiB.
constexpr std::uint64_t kFat32Limit = (1ull << 32) - 1;
// FAT12 and FAT16 volumes hold at most 2 GiB.
constexpr std::uint64_t kFatLimit = 1ull << 31;

std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string FolderOf(const std::string& path) {
  const std::string folder = platform::Utf8FromPath(platform::PathFromUtf8(path).parent_path());
  return folder.empty() ? "." : folder;
}

ImageTargetProblem CheckPlace(const ImageSource& source, const std::string& path,
                              const std::string& folder, const ImageTargetQueries& queries) {
  const platform::PathKind kind = queries.pathKind(path);
  if (kind != platform::PathKind::kMissing && kind != platform::PathKind::kRegularFile) {
    return ImageTargetProblem::kNotAFile;
  }
  if (queries.sameFile(path, source.path)) return ImageTargetProblem::kIsSource;
  if (source.kind != ImageSource::Kind::kImageFile &&
      queries.folderIsOnDevice(folder, source.path)) {
    return ImageTargetProblem::kOnSourceVolume;
  }
  return ImageTargetProblem::kNone;
}

}  // namespace

ImageTargetQueries SystemImageTargetQueries(const platform::SystemRoots& roots) {
  ImageTargetQueries queries;
  queries.fileSystemName = [roots](const std::string& folder, std::string& name) {
    return GetFileSystemName(folder, name, roots);
  };
  queries.freeBytes = [](const std::string& folder, std::uint64_t& bytes) {
    return GetFreeBytes(folder, bytes);
  };
  queries.folderIsOnDevice = [roots](const std::string& folder, const std::string& device) {
    return platform::FolderIsOnDevice(folder, device, roots);
  };
  queries.pathKind = [](const std::string& path) { return platform::QueryPathKind(path); };
  queries.sameFile = [](const std::string& a, const std::string& b) {
    return platform::IsSameFile(a, b);
  };
  queries.fileBytes = [](const std::string& path) {
    std::uint64_t size = 0;
    if (platform::QueryPathKind(path) != platform::PathKind::kRegularFile) return size;
    return GetFileSize(path, size) == result::kSuccess ? size : 0;
  };
  return queries;
}

ImageTargetProblem CheckImageTarget(const ImageSource& source, const std::string& targetPath,
                                    const ImageTargetQueries& queries) {
  const std::string folder = FolderOf(targetPath);
  if (const auto problem = CheckPlace(source, targetPath, folder, queries);
      problem != ImageTargetProblem::kNone) {
    return problem;
  }

  std::string name;
  if (queries.fileSystemName(folder, name) == result::kSuccess) {
    name = UpperCase(name);
    if (name.find("FAT32") != std::string::npos) {
      if (source.bytes > kFat32Limit) return ImageTargetProblem::kTooLargeForFat32;
    } else if (name.find("FAT") != std::string::npos && name.find("EXFAT") == std::string::npos) {
      if (source.bytes > kFatLimit) return ImageTargetProblem::kTooLargeForFat;
    }
  }

  std::uint64_t free = 0;
  if (queries.freeBytes(folder, free) == result::kSuccess) {
    // Replacing or resuming an existing image reuses the space it holds.
    const std::uint64_t available =
        CheckedAdd64(free, queries.fileBytes(targetPath)).value_or(UINT64_MAX);
    if (available <= source.bytes) return ImageTargetProblem::kNotEnoughSpace;
  }
  return ImageTargetProblem::kNone;
}

ImageTargetProblem CheckImageMapPath(const ImageSource& source, const std::string& mapPath,
                                     const ImageTargetQueries& queries) {
  return CheckPlace(source, mapPath, FolderOf(mapPath), queries);
}

}  // namespace keldrive
