#include "app/formatting.h"

#include <gtest/gtest.h>

#include <vector>

namespace keldrive {
namespace {

TEST(Formatting, SizeChangesUnitAtEachPowerOf1024) {
  const std::pair<std::int64_t, std::string> cases[] = {
      {0, "0 Bytes"},
      {-5, "-5 Bytes"},
      {1023, "1023 Bytes"},
      {1024, "1.00 KB"},
      {1536, "1.50 KB"},
      {1048575, "1024.00 KB"},
      {1048576, "1.00 MB"},
      {1073741823, "1024.00 MB"},
      {1073741824, "1.00 GB"},
      {1099511627775, "1024.00 GB"},
      {1099511627776, "1.00 TB"},
      {INT64_MAX, "8388608.00 TB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatSize(bytes), text) << bytes;
}

TEST(Formatting, DurationChangesUnitAtAMinuteAndAnHour) {
  const std::pair<std::int64_t, std::string> cases[] = {
      {-1, "-1 Sec"},          {0, "0 Sec"},
      {59, "59 Sec"},          {60, "1 Min 0 Sec"},
      {3599, "59 Min 59 Sec"}, {3600, "1 Hour 0 Min"},
      {3720, "1 Hour 2 Min"},  {90061, "25 Hour 1 Min"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(FormatDuration(seconds), text) << seconds;
}

TEST(Formatting, FileTimeWithoutTimeZone) {
  FileTime time = 0;
  ASSERT_TRUE(CalendarToFileTime({2019, 3, 7, 9, 5, 0, 999}, time));
  EXPECT_EQ(FormatFileTime(time), "2019-3-7 09:05:00");
  EXPECT_EQ(FormatFileTime(0), "1601-1-1 00:00:00");
}

TEST(Formatting, BytesToTextShowsZeroAsDotAndBreaksLines) {
  const std::vector<std::uint8_t> mixed{'A', 0, 0xE9, '\n'};
  EXPECT_EQ(BytesToText(mixed), "A.\xC3\xA9\n");

  const std::vector<std::uint8_t> line(1024, 'x');
  EXPECT_EQ(BytesToText(line), std::string(1024, 'x') + "\r\n");
  std::vector<std::uint8_t> longer(2049, 'y');
  const std::string text = BytesToText(longer);
  EXPECT_EQ(text, std::string(1024, 'y') + "\r\n" + std::string(1024, 'y') + "\r\ny");
  EXPECT_EQ(BytesToText({}), "");
}

}  // namespace
}  // namespace keldrive
