#include "disk/sector_run.h"

#include <gtest/gtest.h>

#include <limits>

namespace keldrive {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

TEST(SectorRun, RefusesRunsThatWouldPassTheLastSectorNumber) {
  EXPECT_TRUE(SectorRun::Make(kMax - 10, 10));
  EXPECT_FALSE(SectorRun::Make(kMax - 10, 11));
  EXPECT_FALSE(SectorRun::Make(5, 10)->Shifted(kMax - 10));
  EXPECT_EQ(SectorRun::Between(10, 5), SectorRun::Make(10, 0));
}

TEST(SectorRun, IntersectsSplitsAndContains) {
  const SectorRun run = *SectorRun::Make(100, 50);
  EXPECT_TRUE(run.Contains(100));
  EXPECT_TRUE(run.Contains(149));
  EXPECT_FALSE(run.Contains(150));
  EXPECT_EQ(run.Intersect(*SectorRun::Make(140, 20)), SectorRun::Make(140, 10));
  EXPECT_TRUE(run.Intersect(*SectorRun::Make(150, 20)).Empty());
  EXPECT_FALSE(run.Overlaps(*SectorRun::Make(150, 1)));
  EXPECT_EQ(run.Front(10), SectorRun::Make(100, 10));
  EXPECT_EQ(run.After(10), SectorRun::Make(110, 40));
  EXPECT_EQ(run.After(99), SectorRun::Make(150, 0));
  EXPECT_EQ(run.Shifted(2048), SectorRun::Make(2148, 50));
}

}  // namespace
}  // namespace keldrive
