#include "platform/Clock.h"

#include <time.h>

namespace platform {

std::uint64_t TickCountMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

std::tm FileTimeToLocal(std::time_t t) {
  std::tm result{};
  // localtime_r alone may keep a zone read earlier; follow TZ as it is now.
  ::tzset();
  if (!::localtime_r(&t, &result)) return std::tm{};
  return result;
}

}  // namespace platform
