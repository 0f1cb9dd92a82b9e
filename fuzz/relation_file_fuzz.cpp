// Feeds arbitrary text to the relation-file parser, which reads a file that a crash or a
// full disk may have left half written.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/relation_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes say how many records the log holds.
  const std::uint64_t recordCount = static_cast<std::uint64_t>(data[0]) << 8 | data[1];
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  const keldrive::RelationMap map = keldrive::ParseRelationText(text, recordCount);
  for (const auto& [key, children] : map) {
    for (const std::uint32_t child : children) {
      if (child == 0 || child > recordCount) __builtin_trap();
    }
  }
  return 0;
}
