#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace keldrive {

// The sectors of one medium that reads could not deliver during an operation. A sector
// that fails twice (a retry, or two engines reading it) counts once. Positions are kept
// in 512-byte units, whatever sector size the failed read used, so that reads of
// different sizes agree; a failing disk can hold millions of bad sectors, so past a limit
// only the count grows.
class UnreadableSectors {
 public:
  // Records the sector `sector` of `sectorBytes` bytes of the medium called `medium`.
  void Add(std::uint64_t sector, std::uint32_t sectorBytes, const std::string& medium);

  // How many 512-byte sectors could not be read.
  std::uint64_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  const std::string& MediumName() const { return medium_; }
  // The first ones found, in 512-byte sectors, in order.
  std::vector<std::uint64_t> Positions() const { return {positions_.begin(), positions_.end()}; }

 private:
  static constexpr std::size_t kKeptPositions = 1 << 20;
  std::set<std::uint64_t> positions_;
  std::uint64_t count_ = 0;
  std::string medium_;
};

// "sectors 70-71, 80 of disk.img could not be read": the first few runs of `sectors`
// (512-byte sectors, ascending) with "..." after them when there are more.
std::string DescribeUnreadable(const std::vector<std::uint64_t>& sectors,
                               const std::string& medium);

}  // namespace keldrive
