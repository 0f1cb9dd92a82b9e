#include "ui/category_nodes.h"

namespace keldrive::ui {

std::vector<std::string> ExtensionsOf(std::string_view patterns) {
  std::vector<std::string> extensions;
  std::size_t start = 0;
  while (start < patterns.size()) {
    std::size_t end = patterns.find('|', start);
    if (end == std::string_view::npos) end = patterns.size();
    std::string_view item = patterns.substr(start, end - start);
    if (item.substr(0, 2) == "*.") extensions.emplace_back(item.substr(2));
    start = end + 1;
  }
  return extensions;
}

}  // namespace keldrive::ui
