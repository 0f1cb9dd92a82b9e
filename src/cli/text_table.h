#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace keldrive::cli {

// A table printed in aligned columns; numeric columns are right-aligned.
class TextTable {
 public:
  struct Column {
    std::string title;
    bool rightAligned = false;
  };

  explicit TextTable(std::vector<Column> columns) : columns_(std::move(columns)) {}
  void AddRow(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
  void Print(std::ostream& out) const;

 private:
  std::vector<Column> columns_;
  std::vector<std::vector<std::string>> rows_;
};

// Display width of UTF-8 text, counting each code point as one column.
std::size_t DisplayWidth(const std::string& text);

// Text from a medium made safe to print on a terminal: control characters, among them the
// escape that starts terminal sequences and the C1 controls, are shown as "\x1b", "\n",
// "\u009b" ..., so a name can neither move the cursor nor break a line.
std::string TerminalSafe(std::string_view text);

}  // namespace keldrive::cli
