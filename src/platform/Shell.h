// The desktop shell: opening documents, folders and addresses with the user's
// default handler. The program's own implementation starts `xdg-open`
// detached; tests substitute a recording one.
#pragma once

#include <string>

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // Hands `target` (a path, folder or address such as "mailto:...") to the
  // default handler. Returns false when the handler could not be started.
  virtual bool Open(const std::string& target) = 0;
};

// Starts `xdg-open target` detached, without waiting for it.
class XdgShell final : public Shell {
 public:
  bool Open(const std::string& target) override;
};

}  // namespace platform
