// The desktop shell: opening documents, folders and addresses with the user's
// default handler. The program's own implementation starts `xdg-open`
// detached; tests substitute a recording one.
#pragma once

#include <string>
#include <utility>

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // Hands `target` (a path, folder or address such as "mailto:...") to the
  // default handler. Returns false when the handler could not be started.
  virtual bool Open(const std::string& target) = 0;
};

// Starts `xdg-open target` detached, without waiting for it: the handler
// runs in a session of its own and outlives the program. `opener` names
// another program with the same calling convention (tests). A target that
// begins with "-" is passed as "./target" so it cannot be taken for an option.
class XdgShell final : public Shell {
 public:
  explicit XdgShell(std::string opener = "xdg-open") : opener_(std::move(opener)) {}
  bool Open(const std::string& target) override;

 private:
  std::string opener_;
};

}  // namespace platform
