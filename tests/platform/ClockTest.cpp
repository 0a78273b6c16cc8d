// Ticks keep step with the monotonic clock; file times become local times in
// the zone in force, daylight saving included.
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <cstdlib>
#include <string>

namespace {

TEST(Clock, TicksAreMonotonicMilliseconds) {
  const auto steady = [] {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
  };
  const std::uint64_t before = steady();
  const std::uint64_t a = platform::TickCountMs();
  const std::uint64_t b = platform::TickCountMs();
  const std::uint64_t after = steady();
  EXPECT_LE(a, b);
  // The same clock and unit as the system's monotonic one.
  EXPECT_LE(before, a);
  EXPECT_LE(b, after);
}

class FileTimeToLocal : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    hadTz_ = tz != nullptr;
    if (tz) savedTz_ = tz;
  }
  void TearDown() override {
    if (hadTz_)
      ::setenv("TZ", savedTz_.c_str(), 1);
    else
      ::unsetenv("TZ");
  }

 private:
  bool hadTz_ = false;
  std::string savedTz_;
};

TEST_F(FileTimeToLocal, ZoneAndDaylightSavingApply) {
  struct Case {
    const char* zone;
    std::time_t utc;
    int year, month, day, hour, minute, isDst;
  } cases[] = {
      {"UTC0", 0, 1970, 1, 1, 0, 0, 0},
      // Central Europe in POSIX form, so no zone database is needed.
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1609502400, 2021, 1, 1, 13, 0, 0},   // 2021-01-01 12:00 UTC
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1625140800, 2021, 7, 1, 14, 0, 1},   // 2021-07-01 12:00 UTC
      {"EST5EDT,M3.2.0,M11.1.0", 1609502400, 2021, 1, 1, 7, 0, 0},
      {"IST-5:30", 1609502400, 2021, 1, 1, 17, 30, 0},
  };
  for (const Case& c : cases) {
    ::setenv("TZ", c.zone, 1);  // changed between calls: the conversion must follow
    const std::tm t = platform::FileTimeToLocal(c.utc);
    EXPECT_EQ(t.tm_year + 1900, c.year) << c.zone;
    EXPECT_EQ(t.tm_mon + 1, c.month) << c.zone;
    EXPECT_EQ(t.tm_mday, c.day) << c.zone;
    EXPECT_EQ(t.tm_hour, c.hour) << c.zone;
    EXPECT_EQ(t.tm_min, c.minute) << c.zone;
    EXPECT_EQ(t.tm_isdst, c.isDst) << c.zone;
  }
}

TEST_F(FileTimeToLocal, TimeBeyondTheCalendarGivesAZeroRecord) {
  ::setenv("TZ", "UTC0", 1);
  const std::tm t = platform::FileTimeToLocal(std::numeric_limits<std::time_t>::max());
  EXPECT_EQ(t.tm_year, 0);
  EXPECT_EQ(t.tm_mday, 0);
  EXPECT_EQ(t.tm_hour, 0);
}

}  // namespace
