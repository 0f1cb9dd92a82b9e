#pragma once

#include <cstdint>
#include <vector>

#include "fat/fat_table.h"

namespace keldrive {

// One bit per data cluster (bit k for cluster k + 2), set for clusters the table says are
// in use, so that a deep scan can walk only the free space.
class UsedClusterMap {
 public:
  // Builds the map from the table, for the clusters that lie on the medium (at most the
  // geometry's count, which never wraps and never exceeds what the table can name). A
  // cluster whose entry cannot be read counts as free: its data may be a lost file's.
  void Build(FatTable& table);

  bool Empty() const { return bits_.empty(); }
  std::uint64_t Clusters() const { return clusters_; }
  bool IsUsed(std::uint64_t index) const { return (bits_[index / 64] >> (index % 64) & 1) != 0; }

  // The next run of free space at or after `sector` (relative to the volume start), in
  // sectors. A sector beyond the volume gives the volume's sector count and length 0.
  void NextFreeExtent(const FatGeometry& geometry, std::uint64_t sectorCount, std::uint64_t& sector,
                      std::uint64_t& length) const;

 private:
  void Set(std::uint64_t index) { bits_[index / 64] |= std::uint64_t{1} << (index % 64); }

  std::vector<std::uint64_t> bits_;
  std::uint64_t clusters_ = 0;
};

}  // namespace keldrive
