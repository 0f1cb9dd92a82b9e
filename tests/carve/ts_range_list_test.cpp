#include "carve/ts_range_list.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace keldrive {
namespace {

TEST(TsRangeList, MergesOverlappingAndTouchingRanges) {
  struct Case {
    std::vector<TsRange> added;
    std::vector<TsRange> merged;
  };
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  const std::vector<Case> cases = {
      {{{10, 20}, {30, 40}}, {{10, 20}, {30, 40}}},
      {{{30, 40}, {10, 20}}, {{10, 20}, {30, 40}}},
      {{{10, 20}, {21, 25}}, {{10, 25}}},                      // touching after
      {{{21, 25}, {10, 20}}, {{10, 25}}},                      // touching before
      {{{10, 20}, {30, 40}, {15, 35}}, {{10, 40}}},            // bridging two
      {{{10, 20}, {30, 40}, {50, 60}, {0, 100}}, {{0, 100}}},  // swallowing all
      {{{10, 20}, {12, 14}}, {{10, 20}}},                      // inside
      {{{0, 0}, {1, 1}}, {{0, 1}}},
      {{{kMax - 1, kMax}, {5, kMax - 2}}, {{5, kMax}}},
      {{{20, 10}}, {}},  // backwards: ignored
  };
  for (const Case& c : cases) {
    TsRangeList list;
    for (const TsRange& r : c.added) list.Add(r);
    EXPECT_EQ(list.Ranges(), c.merged);
  }
}

TEST(TsRangeList, TellsWhetherASectorWasCarved) {
  TsRangeList list;
  EXPECT_FALSE(list.Contains(0));
  list.Add({10, 20});
  list.Add({40, 40});
  for (const std::uint64_t in : {10u, 15u, 20u, 40u}) EXPECT_TRUE(list.Contains(in)) << in;
  for (const std::uint64_t out : {0u, 9u, 21u, 39u, 41u}) EXPECT_FALSE(list.Contains(out)) << out;
  list.clear();
  EXPECT_FALSE(list.Contains(15));
}

}  // namespace
}  // namespace keldrive
