#include "download/TransferTexts.h"

#include <cmath>
#include <cstdio>

namespace download {

namespace {
// Nearest whole number, halves to even (the default floating-point rounding).
long long RoundHalfEven(double v) { return std::llrint(v); }

std::string Format(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}
}  // namespace

double TransferSpeed(std::int64_t receivedBytes, std::int64_t elapsedMs) {
  return static_cast<double>(receivedBytes) * 1000.0 / static_cast<double>(elapsedMs);
}

std::string TimeLeftText(std::int64_t expectedLength, std::int64_t receivedBytes, double speed) {
  if (expectedLength < 0) return "--:--:--";
  long long seconds = 0;
  if (expectedLength != 0 && speed != 0)
    seconds = RoundHalfEven(static_cast<double>(expectedLength - receivedBytes) / speed);
  if (seconds < 0) seconds = 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2lld:%.2lld:%.2lld", seconds / 3600, (seconds / 60) % 60, seconds % 60);
  return buf;
}

std::string SpeedText(double speed) { return Format("%.2f", speed / 1024.0) + " KB/Sec"; }

std::string ProgressText(std::int64_t expectedLength, std::int64_t receivedBytes) {
  if (expectedLength <= 0) return Format("%2.2f MB", static_cast<double>(receivedBytes) / 1048576.0);
  const long long percent = RoundHalfEven(static_cast<double>(receivedBytes) * 100.0 / static_cast<double>(expectedLength));
  return std::to_string(percent) + "% of " + Format("%2.2f MB", static_cast<double>(expectedLength) / 1048576.0);
}

}  // namespace download
