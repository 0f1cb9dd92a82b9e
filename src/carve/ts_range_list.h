#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace keldrive {

// Sectors already carved as one transport stream, both ends included.
struct TsRange {
  std::uint64_t firstSector = 0;
  std::uint64_t lastSector = 0;

  friend bool operator==(const TsRange&, const TsRange&) = default;
};

// The transport streams carved so far in one scan. A medium full of recordings holds
// many thousands of streams, and every stream candidate is looked up here, so the ranges
// are kept sorted and merged: a lookup costs a logarithm, not a walk over every stream.
class TsRangeList {
 public:
  // Adds the range, merging it with the ones it overlaps or touches. A range whose last
  // sector lies before its first is ignored.
  void Add(TsRange range);
  // Whether some range holds the sector.
  bool Contains(std::uint64_t sector) const;

  // Merged ranges, in sector order.
  std::vector<TsRange> Ranges() const;
  std::size_t size() const { return ranges_.size(); }
  bool empty() const { return ranges_.empty(); }
  void clear() { ranges_.clear(); }

 private:
  std::map<std::uint64_t, std::uint64_t> ranges_;  // first sector -> last sector, disjoint
};

}  // namespace keldrive
