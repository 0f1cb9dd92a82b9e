#include "carve/ts_range_list.h"

#include <limits>

namespace keldrive {

void TsRangeList::Add(TsRange range) {
  if (range.lastSector < range.firstSector) return;
  std::uint64_t first = range.firstSector;
  std::uint64_t last = range.lastSector;
  auto it = ranges_.upper_bound(first);
  // A range that starts before this one and reaches it (or ends right before it) absorbs it.
  if (it != ranges_.begin()) {
    const auto before = std::prev(it);
    if (before->second >= first - (first != 0 ? 1 : 0)) {
      first = before->first;
      if (before->second > last) last = before->second;
      it = ranges_.erase(before);
    }
  }
  // Ranges that start inside this one or right after it are absorbed.
  const std::uint64_t reach = last == std::numeric_limits<std::uint64_t>::max() ? last : last + 1;
  while (it != ranges_.end() && it->first <= reach) {
    if (it->second > last) last = it->second;
    it = ranges_.erase(it);
  }
  ranges_.emplace(first, last);
}

bool TsRangeList::Contains(std::uint64_t sector) const {
  auto it = ranges_.upper_bound(sector);
  if (it == ranges_.begin()) return false;
  return sector <= std::prev(it)->second;
}

std::vector<TsRange> TsRangeList::Ranges() const {
  std::vector<TsRange> out;
  out.reserve(ranges_.size());
  for (const auto& [first, last] : ranges_) out.push_back({first, last});
  return out;
}

}  // namespace keldrive
