#include "cli/text_table.h"

#include <algorithm>
#include <cstdio>

namespace keldrive::cli {

std::size_t DisplayWidth(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string TerminalSafe(std::string_view text) {
  std::string safe;
  safe.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    char escaped[8];
    if (byte < 0x20 || byte == 0x7F) {
      switch (byte) {
        case '\n':
          safe += "\\n";
          break;
        case '\r':
          safe += "\\r";
          break;
        case '\t':
          safe += "\\t";
          break;
        default:
          std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
          safe += escaped;
      }
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080 to U+009F: C1 controls, which some terminals obey like escapes.
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
      safe += escaped;
      ++i;
    } else {
      safe.push_back(text[i]);
    }
  }
  return safe;
}

void TextTable::Print(std::ostream& out) const {
  std::vector<std::size_t> widths(columns_.size());
  for (std::size_t c = 0; c < columns_.size(); ++c) widths[c] = DisplayWidth(columns_[c].title);
  for (const auto& row : rows_) {
    for (std::size_t c = 0; c < columns_.size() && c < row.size(); ++c) {
      widths[c] = std::max(widths[c], DisplayWidth(TerminalSafe(row[c])));
    }
  }
  const auto printRow = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      const std::string cell = c < cells.size() ? TerminalSafe(cells[c]) : std::string();
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
