#include "disk/unreadable_sectors.h"

namespace keldrive {

void UnreadableSectors::Add(std::uint64_t sector, std::uint32_t sectorBytes,
                            const std::string& medium) {
  if (medium_.empty()) medium_ = medium;
  const std::uint64_t units = sectorBytes >= 512 ? sectorBytes / 512 : 1;
  const std::uint64_t first = sectorBytes >= 512 ? sector * units : sector * sectorBytes / 512;
  for (std::uint64_t i = 0; i < units; ++i) {
    if (positions_.size() >= kKeptPositions) {
      ++count_;  // past the limit a repeat may count twice; the count stays an estimate
    } else if (positions_.insert(first + i).second) {
      ++count_;
    }
  }
}

std::string DescribeUnreadable(const std::vector<std::uint64_t>& sectors,
                               const std::string& medium) {
  constexpr std::size_t kShownRuns = 8;
  std::string text;
  std::size_t runs = 0;
  std::size_t i = 0;
  while (i < sectors.size() && runs < kShownRuns) {
    std::size_t j = i;
    while (j + 1 < sectors.size() && sectors[j + 1] == sectors[j] + 1) ++j;
    if (runs != 0) text += ", ";
    text += std::to_string(sectors[i]);
    if (j != i) text += "-" + std::to_string(sectors[j]);
    ++runs;
    i = j + 1;
  }
  if (i < sectors.size()) text += ", ...";
  const bool one = sectors.size() == 1;
  return (one ? "sector " : "sectors ") + text + " of " + (medium.empty() ? "the medium" : medium) +
         " could not be read";
}

}  // namespace keldrive
