#include "fat/entry_name.h"

#include <array>
#include <span>

#include "engine/text_encoding.h"

namespace keldrive {
namespace {

std::string ShortPart(std::span<const std::uint8_t> bytes, bool lower) {
  std::size_t length = bytes.size();
  while (length > 0 && bytes[length - 1] == ' ') --length;
  std::string text = Cp437ToUtf8(bytes.first(length));
  if (lower) {
    for (char& c : text) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

}  // namespace

std::string ShortEntryName(const DirEntry& entry) {
  std::array<std::uint8_t, 11> raw = entry.name;
  const bool deleted = raw[0] == kDeletedMark;
  if (raw[0] == 0x05) raw[0] = kDeletedMark;  // 0x05 stands for a name that starts with 0xE5
  const bool lowerBase = (entry.caseFlags & fat_case::kLowerBase) != 0;
  std::string name = ShortPart(std::span(raw).subspan(deleted ? 1 : 0, deleted ? 7 : 8), lowerBase);
  if (deleted) name.insert(0, "!");
  if (raw[8] != ' ') {
    name += "." + ShortPart(std::span(raw).subspan(8, 3),
                            (entry.caseFlags & fat_case::kLowerExtension) != 0);
  }
  return name;
}

}  // namespace keldrive
