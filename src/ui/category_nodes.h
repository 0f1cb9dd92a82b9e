#pragma once

#include <Qt>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_category.h"

namespace keldrive::ui {

// The type tree's six category nodes, in the order of the categories.
struct CategoryNode {
  FileCategory category;
  const char* node;        // object name of the tree node
  const char* titleKey;    // its caption
  const char* panelBox;    // the deep-scan panel's check box
  const char* optionsBox;  // the per-extension options' container
  std::string_view patterns;
};
inline const std::array<CategoryNode, 6> kCategoryNodes{{
    {FileCategory::kPhoto, "NodePhoto", "MSG0807", "ChkPhoto", "FileTypePhoto", kPhotoPatterns},
    {FileCategory::kAudio, "NodeAudio", "MSG0808", "ChkMusic", "FileTypeAudio", kAudioPatterns},
    {FileCategory::kVideo, "NodeVideo", "MSG0809", "ChkVideo", "FileTypeVideo", kVideoPatterns},
    {FileCategory::kDocument, "NodeOffice", "MSG0810", "ChkOffice", "FileTypeOffice",
     kDocumentPatterns},
    {FileCategory::kArchive, "NodeZip", "MSG0811", "ChkArchive", "FileTypeZip", kArchivePatterns},
    {FileCategory::kOther, "NodeOther", "MSG0812", "ChkOther", "FileTypeOther", ""},
}};

// What a type-tree node carries: its category's index (or -1), and its extension.
inline constexpr int kNodeEntriesRole = Qt::UserRole + 1;
inline constexpr int kNodeExtensionRole = Qt::UserRole + 2;

// The extensions of a pattern list, in its order: "*.bmp|*.gif" gives bmp, gif.
std::vector<std::string> ExtensionsOf(std::string_view patterns);

}  // namespace keldrive::ui
