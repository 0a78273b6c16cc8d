// The progress, speed and time-left texts a download client shows for each
// body fragment.
#pragma once

#include <cstdint>
#include <string>

namespace download {

// Speed in bytes per second from the bytes received and the milliseconds
// since the body began (elapsed > 0).
double TransferSpeed(std::int64_t receivedBytes, std::int64_t elapsedMs);
// "%.2d:%.2d:%.2d" of the seconds left at `speed`; "--:--:--" when the
// length is unknown (negative).
std::string TimeLeftText(std::int64_t expectedLength, std::int64_t receivedBytes, double speed);
// speed / 1024 with two decimals, then " KB/Sec".
std::string SpeedText(double speed);
// percent + "% of " + "%2.2f MB" of the expected length; for an unknown
// length (negative) or an empty one, the size received so far in MB.
std::string ProgressText(std::int64_t expectedLength, std::int64_t receivedBytes);

}  // namespace download
