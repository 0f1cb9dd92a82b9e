#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

#include "disk/checked_math.h"

namespace keldrive {

// A run of sectors: its first sector and how many follow. Free extents, resume points,
// unreadable areas and the pieces of an image copy are all runs. A run never reaches past
// the last 64-bit sector number: Make refuses one that would, so End() cannot wrap.
class SectorRun {
 public:
  constexpr SectorRun() = default;

  static constexpr std::optional<SectorRun> Make(std::uint64_t first, std::uint64_t count) {
    if (!CheckedAdd64(first, count)) return std::nullopt;
    return SectorRun(first, count);
  }
  // The run from `first` up to, not including, `end`; empty when `end` is not after it.
  static constexpr SectorRun Between(std::uint64_t first, std::uint64_t end) {
    return SectorRun(first, end > first ? end - first : 0);
  }

  constexpr std::uint64_t First() const { return first_; }
  constexpr std::uint64_t Count() const { return count_; }
  constexpr std::uint64_t End() const { return first_ + count_; }  // one past the last
  constexpr bool Empty() const { return count_ == 0; }

  constexpr bool Contains(std::uint64_t sector) const {
    return sector >= first_ && sector < End();
  }
  constexpr bool Overlaps(const SectorRun& other) const {
    return first_ < other.End() && other.first_ < End();
  }
  // The sectors both runs hold; empty when they do not overlap.
  constexpr SectorRun Intersect(const SectorRun& other) const {
    const std::uint64_t first = std::max(first_, other.first_);
    return Between(first, std::min(End(), other.End()));
  }
  // The first `count` sectors (all of them when there are fewer).
  constexpr SectorRun Front(std::uint64_t count) const {
    return SectorRun(first_, std::min(count, count_));
  }
  // What is left after the first `count` sectors.
  constexpr SectorRun After(std::uint64_t count) const {
    const std::uint64_t skipped = std::min(count, count_);
    return SectorRun(first_ + skipped, count_ - skipped);
  }
  // This run moved by `offset` sectors, for runs counted from a volume's start; nothing when
  // the moved run would pass the last sector number.
  constexpr std::optional<SectorRun> Shifted(std::uint64_t offset) const {
    const auto first = CheckedAdd64(first_, offset);
    if (!first) return std::nullopt;
    return Make(*first, count_);
  }

  friend constexpr bool operator==(const SectorRun&, const SectorRun&) = default;

 private:
  constexpr SectorRun(std::uint64_t first, std::uint64_t count) : first_(first), count_(count) {}

  std::uint64_t first_ = 0;
  std::uint64_t count_ = 0;
};

}  // namespace keldrive
