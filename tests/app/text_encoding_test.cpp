#include <gtest/gtest.h>

#include "app/message_text.h"
#include "app/utf16.h"

namespace keldrive {
namespace {

TEST(Utf16, RoundTripsEveryPlane) {
  const std::string text = "C:/Donn\xC3\xA9\x65s/\xE6\x96\x87\xE4\xBB\xB6/\xF0\x9F\x98\x80.jpg";
  std::u16string units;
  ASSERT_TRUE(Utf8ToUtf16(text, units));
  EXPECT_EQ(units, u"C:/Donn\u00e9es/\u6587\u4ef6/\U0001F600.jpg");
  std::string back;
  ASSERT_TRUE(Utf16ToUtf8(units, back));
  EXPECT_EQ(back, text);
}

TEST(Utf16, RefusesMalformedInput) {
  std::u16string units;
  for (const std::string bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                "\xE2\x82", "\x80", "ok\xFF"}) {
    EXPECT_FALSE(Utf8ToUtf16(bad, units)) << ::testing::PrintToString(bad);
  }
  std::string text;
  for (const std::u16string bad : {u"\xD800", u"\xDC00x", u"a\xD800\x0041"}) {
    EXPECT_FALSE(Utf16ToUtf8(bad, text));
  }
}

TEST(MessageText, FillsConversionsInOrderAndNeverReadsMissingArguments) {
  struct Case {
    std::string text;
    std::initializer_list<std::string_view> arguments;
    std::string expected;
  };
  const Case cases[] = {
      {"Searching drive %c:", {"E"}, "Searching drive E:"},
      {"%d of %d files done: %d recovered, %d failed.",
       {"5", "9", "4", "1"},
       "5 of 9 files done: 4 recovered, 1 failed."},
      {"%s %d%%", {"Progress:", "40"}, "Progress: 40%"},
      {"%s %I64u / %I64u", {"Sectors:", "10", "20"}, "Sectors: 10 / 20"},
      {"%5.2f and %-3d", {"1.5", "7"}, "1.5 and 7"},
      {"Found in %s and %s", {"one"}, "Found in one and %s"},
      {"No conversions", {"ignored"}, "No conversions"},
      {"trailing %", {}, "trailing %"},
      {"%q is not one", {"x"}, "%q is not one"},
  };
  for (const Case& c : cases) EXPECT_EQ(FillMessage(c.text, c.arguments), c.expected) << c.text;

  EXPECT_EQ(MessageConversions("%d of %d: %d, %d%%"), "%d%d%d%d");
  EXPECT_EQ(MessageConversions("Drive %c: %I64u"), "%c%u");
  EXPECT_EQ(MessageConversions("100%% done"), "");
}

}  // namespace
}  // namespace keldrive
