#include "platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

namespace keldrive::platform {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// FILETIME ticks from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochTicks = 116'444'736'000'000'000;

timespec ToTimespec(std::uint64_t ticks, bool local) {
  if (ticks == 0) return {0, UTIME_OMIT};
  const auto signedTicks = static_cast<std::int64_t>(ticks - kUnixEpochTicks);
  std::int64_t seconds = signedTicks / static_cast<std::int64_t>(kTicksPerSecond);
  std::int64_t rest = signedTicks % static_cast<std::int64_t>(kTicksPerSecond);
  if (rest < 0) {
    rest += static_cast<std::int64_t>(kTicksPerSecond);
    --seconds;
  }
  if (local) {
    // The wall-clock time read as this machine's local time, daylight saving decided by
    // the zone's rules for that date. The civil date of a day count: Howard Hinnant's
    // algorithm.
    const std::int64_t days = seconds >= 0 ? seconds / 86'400 : (seconds - 86'399) / 86'400;
    const std::int64_t ofDay = seconds - days * 86'400;
    std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    std::tm calendar{};
    calendar.tm_mday = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    calendar.tm_mon = static_cast<int>(mp < 10 ? mp + 2 : mp - 10);
    calendar.tm_year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 +
                                        (calendar.tm_mon < 2 ? 1 : 0)) -
                       1900;
    calendar.tm_hour = static_cast<int>(ofDay / 3600);
    calendar.tm_min = static_cast<int>(ofDay / 60 % 60);
    calendar.tm_sec = static_cast<int>(ofDay % 60);
    calendar.tm_isdst = -1;
    const std::time_t utc = std::mktime(&calendar);
    if (utc != static_cast<std::time_t>(-1)) seconds = utc;
  }
  return {static_cast<std::time_t>(seconds), static_cast<long>(rest * 100)};
}

}  // namespace

ResultCode SetFileTimes(const std::string& path, const FileTimeStamps& times) {
  const timespec values[2] = {ToTimespec(times.accessed, times.local),
                              ToTimespec(times.modified, times.local)};
  if (::utimensat(AT_FDCWD, path.c_str(), values, 0) != 0) return ResultFromErrno(errno);
  return result::kSuccess;
}

}  // namespace keldrive::platform
