// The settings record: one field per key of "settings.ini". A plain value;
// whoever holds one holds an independent copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace settings {

struct TApplicationOptions {
  std::string Proxy;
  std::string ProxyPort;
  std::string Username;
  std::string Password;
  std::string OutputDir;   // ends with "/"
  std::string ActiveList;  // extensions joined by ","
  std::string IgnoreList;
  std::uint8_t RequestCredentials = 0;
  std::uint8_t OverwriteExistingFile = 0;  // 0 rename new, 1 overwrite, 2 don't download
  std::int32_t MaxThreads = 5;
  std::uint8_t ShutdownWhenFinish = 0;
  std::uint8_t LeechPrompt = 0;
  std::uint8_t ForceShutdown = 0;
  std::uint8_t UseProxyServer = 0;
  std::uint8_t BandwidthThrottling = 1;
  std::int32_t Bandwidth = 10;  // kilobytes per second

  bool operator==(const TApplicationOptions&) const = default;
};

}  // namespace settings
