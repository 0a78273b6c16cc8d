// One run of velmora-get: fetches and scans each page in turn (or takes each
// address as a file with Direct), hands what it finds to a download manager
// and runs the loop until the queue is empty and every slot idle. Transfers
// run while later pages are fetched. The exit status is 0 when every transfer
// finished (or was skipped by the "skip" policy), 1 when a transfer failed, a
// page could not be fetched or a direct address could not be downloaded.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/GetProgress.h"
#include "platform/EventLoop.h"
#include "settings/ApplicationOptions.h"

namespace app {

struct GetSessionSettings {
  // settings.ini with the command line's overrides; OutputDir absolute and
  // ending with "/".
  settings::TApplicationOptions options;
  std::vector<std::string> addresses;
  bool direct = false;
  // With direct and one address: where that file goes (absolute).
  std::string outputFile;
  std::optional<std::string> serverUser;
  std::string serverPassword;
  int stallMs = 30000;
  int refreshMs = 200;  // how often the terminal's slot lines are redrawn
};

// Runs the session on `loop` and returns the exit status.
int RunGetSession(platform::EventLoop& loop, GetOutput output, GetSessionSettings settings);

}  // namespace app
