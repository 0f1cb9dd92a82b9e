#include "engine/relation_file.h"

#include <charconv>

namespace keldrive {
namespace {

constexpr std::string_view kGroupStart = " | ";
constexpr std::string_view kListStart = " - [";

// Reads the decimal number at `pos`; false when there is none or it overflows.
template <typename T>
bool ReadNumber(std::string_view text, std::size_t& pos, T& value) {
  const char* begin = text.data() + pos;
  const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
  if (ec != std::errc() || end == begin) return false;
  pos += static_cast<std::size_t>(end - begin);
  return true;
}

}  // namespace

void AppendRelationGroup(std::string& out, std::uint64_t key,
                         const std::vector<std::uint32_t>& children) {
  out += kGroupStart;
  out += std::to_string(key);
  out += kListStart;
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (i != 0) out += ',';
    out += std::to_string(children[i]);
  }
  out += ']';
}

RelationMap ParseRelationText(std::string_view text, std::uint64_t recordCount) {
  RelationMap relation;
  std::size_t pos = text.find(kGroupStart);
  while (pos != std::string_view::npos) {
    pos += kGroupStart.size();
    std::uint64_t key = 0;
    if (!ReadNumber(text, pos, key) || text.substr(pos, kListStart.size()) != kListStart) break;
    pos += kListStart.size();

    std::vector<std::uint32_t> children;
    bool closed = false;
    if (pos < text.size() && text[pos] == ']') {
      closed = true;
    } else {
      while (true) {
        std::uint32_t child = 0;
        if (!ReadNumber(text, pos, child) || pos >= text.size()) break;
        if (child != 0 && child <= recordCount) children.push_back(child);
        if (text[pos] == ']') {
          closed = true;
          break;
        }
        if (text[pos] != ',') break;
        ++pos;
      }
    }
    if (!closed) break;
    auto& list = relation[key];
    list.insert(list.end(), children.begin(), children.end());
    pos = text.find(kGroupStart, pos + 1);
  }
  return relation;
}

}  // namespace keldrive
