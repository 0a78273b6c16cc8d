#include "platform/Shell.h"

#include "platform/Process.h"

namespace platform {

bool XdgShell::Open(const std::string& target) {
  if (target.empty()) return false;
  ProcessOptions options;
  options.program = opener_;
  options.arguments.push_back(target.front() == '-' ? "./" + target : target);
  return Process::StartDetached(options);
}

}  // namespace platform
