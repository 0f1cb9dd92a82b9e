#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "disk/byte_reader.h"

namespace keldrive {

using Bytes = std::span<const std::uint8_t>;

// Whether `pattern` stands at `offset`; false when the bytes end before it does.
inline bool HasBytesAt(Bytes bytes, std::size_t offset, std::string_view pattern) {
  const Bytes field = ByteReader(bytes).at(offset, pattern.size()).bytes(pattern.size());
  if (field.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (field[i] != static_cast<std::uint8_t>(pattern[i])) return false;
  }
  return true;
}

// The first occurrence of `pattern` starting at or after `from`.
std::optional<std::size_t> FindFirst(Bytes bytes, std::string_view pattern, std::size_t from = 0);

// The last occurrence of `pattern` starting at or after `from`.
std::optional<std::size_t> FindLast(Bytes bytes, std::string_view pattern, std::size_t from = 0);

// Whether every byte is zero.
bool AllZero(Bytes bytes);

}  // namespace keldrive
