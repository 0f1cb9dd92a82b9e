#include "engine/relation_file.h"

#include <gtest/gtest.h>

namespace keldrive {
namespace {

TEST(RelationFile, WritesAndReadsGroups) {
  std::string text;
  AppendRelationGroup(text, (1ull << 32) + 2, {1, 2, 5});
  AppendRelationGroup(text, (2ull << 32) + 9, {3});
  EXPECT_EQ(text, " | 4294967298 - [1,2,5] | 8589934601 - [3]");
  const RelationMap map = ParseRelationText(text, 10);
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map.at((1ull << 32) + 2), (std::vector<std::uint32_t>{1, 2, 5}));
  EXPECT_EQ(map.at((2ull << 32) + 9), (std::vector<std::uint32_t>{3}));
}

TEST(RelationFile, CraftedTextIsReadSafely) {
  struct Case {
    const char* what;
    std::string text;
    RelationMap expected;
  };
  const Case cases[] = {
      {"empty", "", {}},
      {"record numbers 0 and beyond the log are dropped", " | 7 - [0,3,11,4]", {{7, {3, 4}}}},
      {"an empty list", " | 7 - []", {{7, {}}}},
      {"a cut-off group ends the reading", " | 7 - [1] | 8 - [2,3", {{7, {1}}}},
      {"a missing list ends the reading", " | 7 - [1] | 8 | 9 - [2]", {{7, {1}}}},
      {"a key too large ends the reading", " | 99999999999999999999 - [1]", {}},
      {"letters inside a list", " | 7 - [1,x] | 8 - [2]", {}},
      {"garbage before the first group", "junk | 7 - [1]", {{7, {1}}}},
      {"a child number too large", " | 7 - [4294967296]", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseRelationText(c.text, 10), c.expected) << c.what;
}

}  // namespace
}  // namespace keldrive
