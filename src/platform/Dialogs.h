// Message boxes, input boxes and file or folder pickers. Every window and
// every piece of logic that asks the user something goes through this
// interface: the desktop program gives the Qt one, tests a scripted one.
#pragma once

#include <string>

namespace platform {

enum class TMessageKind { Information, Warning, Error, Confirmation };

// The button the user chose.
enum class TMessageResult { Ok, Cancel, Yes, No };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message box with OK (Yes and No for a confirmation).
  virtual TMessageResult MessageBox(const std::string& text, const std::string& caption, TMessageKind kind) = 0;
};

// Records every message and answers with a preset result; for programs
// without a display (the text is also written to standard error) and tests.
class RecordingDialogs final : public Dialogs {
 public:
  explicit RecordingDialogs(bool echoToStderr = false, TMessageResult answer = TMessageResult::Ok)
      : echo_(echoToStderr), answer_(answer) {}
  TMessageResult MessageBox(const std::string& text, const std::string& caption, TMessageKind kind) override;
  const std::string& LastText() const { return last_; }
  int Count() const { return count_; }

 private:
  bool echo_;
  TMessageResult answer_;
  std::string last_;
  int count_ = 0;
};

}  // namespace platform
