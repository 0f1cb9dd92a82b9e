#include "engine/preview_target.h"

#include "engine/file_category.h"
#include "engine/recovery_target.h"

namespace keldrive {

std::string PreviewFilePath(const std::string& previewFolder, std::string_view name) {
  const std::string extension = ExtensionOf(name);
  if (extension.empty()) return {};
  switch (CategoryOfExtension(extension)) {
    case FileCategory::kPhoto:
      return JoinPath(previewFolder, "tmp.jpg");
    case FileCategory::kAudio:
    case FileCategory::kVideo:
      return JoinPath(previewFolder, "tmp.avi");
    default:
      break;
  }
  if (PatternListContains(kPreviewDocumentPatterns, extension)) {
    return JoinPath(previewFolder, SafeFileName(name));
  }
  return {};
}

}  // namespace keldrive
