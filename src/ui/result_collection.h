#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "engine/file_category.h"
#include "engine/found_file.h"

namespace keldrive::ui {

// One found file of the result lists and the scan (media row) it came from.
struct ResultEntry {
  std::size_t scan = 0;
  FoundFile record;
};

// The found files the search collected, by category and extension: the type tree's nodes.
// Files with no extension of their category's list go under "other" as "unknow".
class ResultCollection {
 public:
  static constexpr std::size_t kCategories = 6;
  static constexpr const char* kUnknownExtension = "unknow";

  void Clear();
  void Add(std::size_t scan, const FoundFile& record);
  // Builds the node index; call once every file is added.
  void Finish();

  std::size_t Size() const { return entries_.size(); }
  const ResultEntry& At(std::size_t index) const { return entries_[index]; }

  // The extensions of a category (upper-cased, sorted) and the entries of each.
  const std::map<std::string, std::vector<std::size_t>>& Extensions(FileCategory category) const {
    return byExtension_[static_cast<std::size_t>(category)];
  }
  // Every entry of a category, in collection order.
  std::vector<std::size_t> EntriesOf(FileCategory category) const;
  std::size_t CountOf(FileCategory category) const;

 private:
  std::vector<ResultEntry> entries_;
  std::array<std::map<std::string, std::vector<std::size_t>>, kCategories> byExtension_;
};

// The node text of an extension: "JPG Files (3)".
std::string ExtensionNodeText(const std::string& extension, std::size_t count);

}  // namespace keldrive::ui
