#include "ui/result_collection.h"

#include <algorithm>
#include <cctype>

namespace keldrive::ui {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

void ResultCollection::Clear() {
  entries_.clear();
  for (auto& map : byExtension_) map.clear();
}

void ResultCollection::Add(std::size_t scan, const FoundFile& record) {
  entries_.push_back(ResultEntry{scan, record});
}

void ResultCollection::Finish() {
  for (auto& map : byExtension_) map.clear();
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const std::string_view name = entries_[i].record.Name();
    const std::string extension = ExtensionOf(name);
    const FileCategory category = CategoryOfExtension(extension);
    const std::string node = category == FileCategory::kOther && extension.empty()
                                 ? std::string(kUnknownExtension)
                                 : Upper(extension);
    byExtension_[static_cast<std::size_t>(category)][node].push_back(i);
  }
}

std::vector<std::size_t> ResultCollection::EntriesOf(FileCategory category) const {
  std::vector<std::size_t> all;
  for (const auto& [extension, entries] : Extensions(category)) {
    all.insert(all.end(), entries.begin(), entries.end());
  }
  std::sort(all.begin(), all.end());
  return all;
}

std::size_t ResultCollection::CountOf(FileCategory category) const {
  std::size_t count = 0;
  for (const auto& [extension, entries] : Extensions(category)) count += entries.size();
  return count;
}

std::string ExtensionNodeText(const std::string& extension, std::size_t count) {
  return extension + " Files (" + std::to_string(count) + ")";
}

}  // namespace keldrive::ui
