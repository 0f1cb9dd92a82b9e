#include "cli/type_selection.h"

#include <algorithm>
#include <array>
#include <utility>

#include "engine/file_category.h"

namespace keldrive::cli {
namespace {

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    std::string part = text.substr(start, end - start);
    for (char& c : part) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    while (!part.empty() && part.front() == '.') part.erase(part.begin());
    parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

}  // namespace

bool HasTypeSelection(const Arguments& arguments) {
  return arguments.Value("--type") || arguments.Value("--category") || arguments.Has("--other");
}

std::optional<std::string> PatternsFromArguments(const Arguments& arguments, std::string& error) {
  if (!HasTypeSelection(arguments)) return EveryCategoryPatternList() + "|*.other";
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kCategories{{
      {"photo", kPhotoPatterns},
      {"audio", kAudioPatterns},
      {"video", kVideoPatterns},
      {"document", kDocumentPatterns},
      {"archive", kArchivePatterns},
      {"others", "*.other"},
  }};
  std::string patterns;
  const auto add = [&](std::string_view text) {
    if (!patterns.empty()) patterns += "|";
    patterns += text;
  };
  if (const auto types = arguments.Value("--type")) {
    for (const std::string& type : SplitList(*types)) {
      if (type.empty()) {
        error = "--type needs extensions such as jpg,png";
        return std::nullopt;
      }
      add("*." + type);
    }
  }
  if (const auto categories = arguments.Value("--category")) {
    for (const std::string& name : SplitList(*categories)) {
      const auto found = std::find_if(kCategories.begin(), kCategories.end(), [&](const auto& c) {
        return c.first == name || (name == "other" && c.first == "others");
      });
      if (found == kCategories.end()) {
        error = "unknown category '" + name + "' (photo, audio, video, document, archive, others)";
        return std::nullopt;
      }
      add(found->second);
    }
  }
  if (arguments.Has("--other")) add("*.other");
  return patterns;
}

}  // namespace keldrive::cli
