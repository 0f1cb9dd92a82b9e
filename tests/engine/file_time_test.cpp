#include "engine/file_time.h"

#include <gtest/gtest.h>

namespace keldrive {
namespace {

TEST(FileTime, ConvertsBothWaysAroundKnownInstants) {
  FileTime t = 0;
  ASSERT_TRUE(CalendarToFileTime({.year = 1970, .month = 1, .day = 1}, t));
  EXPECT_EQ(t, 116'444'736'000'000'000ull) << "the Unix epoch";
  ASSERT_TRUE(CalendarToFileTime({.year = 1601, .month = 1, .day = 1}, t));
  EXPECT_EQ(t, 0u);

  ASSERT_TRUE(CalendarToFileTime({.year = 2024,
                                  .month = 2,
                                  .day = 29,
                                  .hour = 23,
                                  .minute = 59,
                                  .second = 58,
                                  .millisecond = 120},
                                 t));
  const CalendarTime back = FileTimeToCalendar(t);
  EXPECT_EQ(back.year, 2024);
  EXPECT_EQ(back.month, 2);
  EXPECT_EQ(back.day, 29);
  EXPECT_EQ(back.hour, 23);
  EXPECT_EQ(back.minute, 59);
  EXPECT_EQ(back.second, 58);
  EXPECT_EQ(back.millisecond, 120);
}

TEST(FileTime, RefusesTimesThatDoNotExist) {
  const CalendarTime bad[] = {
      {.year = 2023, .month = 2, .day = 29},  {.year = 2024, .month = 13, .day = 1},
      {.year = 2024, .month = 4, .day = 31},  {.year = 2024, .month = 1, .day = 1, .hour = 24},
      {.year = 1600, .month = 12, .day = 31}, {.year = 2024, .month = 1, .day = 0},
  };
  for (const CalendarTime& c : bad) {
    FileTime t = 7;
    EXPECT_FALSE(CalendarToFileTime(c, t)) << c.year << "-" << c.month << "-" << c.day;
  }
}

}  // namespace
}  // namespace keldrive
