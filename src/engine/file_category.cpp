#include "engine/file_category.h"

namespace keldrive {

const std::string& AllCategoriesList() {
  static const std::string kList = std::string(kPhotoPatterns) + "|" + std::string(kAudioPatterns) +
                                   "|" + std::string(kDocumentPatterns) + "|" +
                                   std::string(kVideoPatterns) + "|" +
                                   std::string(kArchivePatterns);
  return kList;
}

const std::string& EveryCategoryPatternList() {
  static const std::string kList = std::string(kPhotoPatterns) + "|" + std::string(kAudioPatterns) +
                                   "|" + std::string(kVideoPatterns) + "|" +
                                   std::string(kDocumentPatterns) + "|" +
                                   std::string(kArchivePatterns);
  return kList;
}

std::string ExtensionOf(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string extension(name.substr(dot + 1));
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

bool PatternListContains(std::string_view patterns, std::string_view text) {
  return patterns.find(text) != std::string_view::npos;
}

FileCategory CategoryOfExtension(std::string_view extension) {
  if (extension.empty()) return FileCategory::kOther;
  if (PatternListContains(kPhotoPatterns, extension)) return FileCategory::kPhoto;
  if (PatternListContains(kAudioPatterns, extension)) return FileCategory::kAudio;
  if (PatternListContains(kVideoPatterns, extension)) return FileCategory::kVideo;
  if (PatternListContains(kDocumentPatterns, extension)) return FileCategory::kDocument;
  if (PatternListContains(kArchivePatterns, extension)) return FileCategory::kArchive;
  return FileCategory::kOther;
}

FileCategory CategoryOfName(std::string_view name) {
  return CategoryOfExtension(ExtensionOf(name));
}

std::string_view CategoryFolderName(FileCategory category) {
  switch (category) {
    case FileCategory::kPhoto:
      return "photo";
    case FileCategory::kAudio:
      return "audio";
    case FileCategory::kVideo:
      return "video";
    case FileCategory::kDocument:
      return "document";
    case FileCategory::kArchive:
      return "archive";
    case FileCategory::kOther:
      break;
  }
  return "others";
}

std::string FileIconName(std::string_view name, bool isFolder, bool contentOk) {
  if (isFolder) return "folder.png";
  const std::string extension = ExtensionOf(name);
  std::string base;
  if (extension == "exe") {
    base = "exe";
  } else if (extension.empty()) {
    base = "default";
  } else if (PatternListContains(kPhotoPatterns, extension)) {
    base = "image";
  } else if (PatternListContains(kAudioPatterns, extension)) {
    base = "music";
  } else if (PatternListContains(kDocumentPatterns, extension)) {
    base = "doc";  // documents are tested before video for the icon
  } else if (PatternListContains(kVideoPatterns, extension)) {
    base = "video";
  } else if (PatternListContains(kArchivePatterns, extension)) {
    base = "zip";
  } else {
    base = "default";
  }
  return base + (contentOk ? ".png" : "_error.png");
}

bool IsHiddenBrokenPhoto(std::string_view name, bool isFolder, bool contentOk) {
  if (isFolder || contentOk) return false;
  const std::string extension = ExtensionOf(name);
  return !extension.empty() && PatternListContains(kPhotoPatterns, extension);
}

}  // namespace keldrive
