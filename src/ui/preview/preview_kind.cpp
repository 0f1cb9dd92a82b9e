#include "ui/preview/preview_kind.h"

#include <array>

#include "engine/file_category.h"

namespace keldrive::ui {
namespace {

template <std::size_t N>
bool OneOf(std::string_view extension, const std::array<std::string_view, N>& list) {
  for (std::string_view item : list) {
    if (item == extension) return true;
  }
  return false;
}

// Exact names here: the substring rule only decides the class, never the file format.
constexpr std::array<std::string_view, 14> kOfficePackages = {
    "docx", "docm", "dotx", "dotm", "xlsx", "xlsm", "pptx",
    "pptm", "ppsx", "ppsm", "odt",  "ods",  "odp",  "potx"};
constexpr std::array<std::string_view, 6> kCompoundFiles = {"doc", "dot", "xls",
                                                            "xlt", "ppt", "pps"};
constexpr std::array<std::string_view, 13> kArchives = {
    "zip", "7z", "rar", "tar", "gz", "gzip", "bz2", "xz", "cab", "iso", "lzh", "jar", "tgz"};

}  // namespace

PreviewClass ClassOfExtension(std::string_view extension) {
  if (extension.empty()) return PreviewClass::kOther;
  // The preview asks the document list first, so its substring rule decides for short
  // names ("p" is a document though the photo list holds it too).
  if (PatternListContains(kPreviewDocumentPatterns, extension)) return PreviewClass::kDocument;
  switch (CategoryOfExtension(extension)) {
    case FileCategory::kPhoto:
      return PreviewClass::kPicture;
    case FileCategory::kAudio:
      return PreviewClass::kAudio;
    case FileCategory::kVideo:
      return PreviewClass::kVideo;
    default:
      break;
  }
  return PreviewClass::kOther;
}

PreviewKind KindOfExtension(std::string_view extension) {
  switch (ClassOfExtension(extension)) {
    case PreviewClass::kPicture:
      return PreviewKind::kPicture;
    case PreviewClass::kAudio:
      return PreviewKind::kAudio;
    case PreviewClass::kVideo:
      return PreviewKind::kVideo;
    default:
      break;
  }
  // Archives outside the document list (xz) and documents outside it (ods) are still read.
  if (extension == "pdf") return PreviewKind::kPdf;
  if (OneOf(extension, kOfficePackages)) return PreviewKind::kOfficeText;
  if (OneOf(extension, kCompoundFiles)) return PreviewKind::kLegacyOfficeText;
  if (OneOf(extension, kArchives)) return PreviewKind::kArchive;
  return PreviewKind::kDump;
}

PreviewKind KindOfName(std::string_view name) {
  return KindOfExtension(ExtensionOf(name));
}

}  // namespace keldrive::ui
