#include "cli/text_table.h"

#include <algorithm>

namespace keldrive::cli {

std::size_t DisplayWidth(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void TextTable::Print(std::ostream& out) const {
  std::vector<std::size_t> widths(columns_.size());
  for (std::size_t c = 0; c < columns_.size(); ++c) widths[c] = DisplayWidth(columns_[c].title);
  for (const auto& row : rows_) {
    for (std::size_t c = 0; c < columns_.size() && c < row.size(); ++c) {
      widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
  }
  const auto printRow = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      const std::string cell = c < cells.size() ? cells[c] : std::string();
      const std::string padding(widths[c] - DisplayWidth(cell), ' ');
      if (c != 0) line += "  ";
      line += columns_[c].rightAligned ? padding + cell : cell + padding;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
  };
  std::vector<std::string> titles;
  for (const Column& column : columns_) titles.push_back(column.title);
  printRow(titles);
  for (const auto& row : rows_) printRow(row);
}

}  // namespace keldrive::cli
