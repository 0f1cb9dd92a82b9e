#include "carve/byte_patterns.h"

#include <algorithm>

namespace keldrive {
namespace {

std::string_view AsText(Bytes bytes) {
  // Searching through string_view uses the library's memchr/memcmp loops.
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::optional<std::size_t> FindFirst(Bytes bytes, std::string_view pattern, std::size_t from) {
  if (pattern.empty() || from >= bytes.size()) return std::nullopt;
  const std::size_t at = AsText(bytes).find(pattern, from);
  if (at == std::string_view::npos) return std::nullopt;
  return at;
}

std::optional<std::size_t> FindLast(Bytes bytes, std::string_view pattern, std::size_t from) {
  if (pattern.empty() || from >= bytes.size()) return std::nullopt;
  const std::size_t at = AsText(bytes).rfind(pattern);
  if (at == std::string_view::npos || at < from) return std::nullopt;
  return at;
}

bool AllZero(Bytes bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace keldrive
