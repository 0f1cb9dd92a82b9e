#include "carve/trailer_search.h"

#include <algorithm>

namespace keldrive {

bool IsPadded(Bytes window, std::size_t end, std::uint64_t windowOffset, std::int32_t sectorSize) {
  if (sectorSize <= 0 || end > window.size()) return false;
  const auto sectorBytes = static_cast<std::uint64_t>(sectorSize);
  const std::uint64_t into = (windowOffset + end) % sectorBytes;
  if (into == 0) return true;
  const std::size_t sectorEnd =
      std::min<std::size_t>(window.size(), end + static_cast<std::size_t>(sectorBytes - into));
  return AllZero(window.subspan(end, sectorEnd - end));
}

std::size_t FirstNewPosition(const ScannedChunk& chunk, std::size_t length) {
  return chunk.lead >= length ? chunk.lead + 1 - length : 0;
}

std::optional<std::size_t> FindFirstPadded(Bytes window, std::string_view pattern, std::size_t from,
                                           std::uint64_t windowOffset, std::int32_t sectorSize) {
  while (const auto at = FindFirst(window, pattern, from)) {
    if (IsPadded(window, *at + pattern.size(), windowOffset, sectorSize)) return at;
    from = *at + 1;
  }
  return std::nullopt;
}

std::optional<std::size_t> FindLastWithinFile(const ScannedChunk& chunk, std::string_view pattern) {
  const std::size_t from = FirstNewPosition(chunk, pattern.size());
  if (!chunk.boundary) return FindLast(chunk.window, pattern, from);
  const std::size_t boundary = *chunk.boundary;
  if (const auto before =
          FindLast(chunk.window.first(std::min(chunk.window.size(), boundary + pattern.size() - 1)),
                   pattern, from)) {
    if (*before < boundary) return before;
  }
  return FindFirst(chunk.window, pattern, std::max(from, boundary));
}

}  // namespace keldrive
