#include "platform/file_times.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace keldrive::platform {
namespace {

// FILETIME of 2023-05-02 12:00:00 and the Unix time of that moment read as UTC.
constexpr std::uint64_t kNoonTicks = 133'275'024'000'000'000;
constexpr std::time_t kNoonUnix = 1'683'028'800;

// Runs with TZ set, putting the old value back afterwards.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ZoneScope(const ZoneScope&) = delete;
  ZoneScope& operator=(const ZoneScope&) = delete;

 private:
  std::optional<std::string> old_;
};

TEST(FileTimes, SetsUtcAndLocalTimesAndLeavesUnknownOnes) {
  testing::TempDir dir;
  const std::string path = dir.File("a.txt");
  std::ofstream(path) << "x";
  const ZoneScope zone("XYZ-2");  // two hours ahead of UTC, no daylight saving
  struct stat info {};

  ASSERT_EQ(SetFileTimes(path, {0, kNoonTicks, kNoonTicks + 5'000'000, false}), result::kSuccess);
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_atim.tv_sec, kNoonUnix);
  EXPECT_EQ(info.st_mtim.tv_sec, kNoonUnix);
  EXPECT_EQ(info.st_mtim.tv_nsec, 500'000'000);

  // FAT's wall-clock noon in a zone two hours ahead is 10:00 UTC; an unknown access time
  // stays as it was.
  ASSERT_EQ(SetFileTimes(path, {0, 0, kNoonTicks, true}), result::kSuccess);
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, kNoonUnix - 2 * 3600);
  EXPECT_EQ(info.st_atim.tv_sec, kNoonUnix);

  EXPECT_NE(SetFileTimes(dir.File("missing"), {0, 0, kNoonTicks, false}), result::kSuccess);
}

}  // namespace
}  // namespace keldrive::platform
