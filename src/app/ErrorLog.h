// The error log: one in-memory list of lines for problems that arise without a
// user action in front of them. The newest line comes first; there are no time
// stamps, no size limit, and nothing is written to disk. `ErrorLogSink` is the
// one call every reporter needs, so the download engine and velmora-get can
// stand in their own log where the program's window log is not there.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace app {

// Where background failures go.
class ErrorLogSink {
 public:
  virtual ~ErrorLogSink() = default;
  // Adds `text` as the newest line.
  virtual void AddLogLine(std::string_view text) = 0;
};

// The log's lines, newest first; the log window shows Text() and refreshes on
// the changed callback.
class ErrorLog final : public ErrorLogSink {
 public:
  void AddLogLine(std::string_view text) override;

  // Newest first.
  const std::deque<std::string>& Lines() const { return lines_; }
  std::size_t Count() const { return lines_.size(); }
  // The lines joined by "\n", newest first, as the log window shows them.
  std::string Text() const;

  // Runs after every added line (the window, when it is shown, repaints).
  void SetOnChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }

 private:
  std::deque<std::string> lines_;
  std::function<void()> onChanged_;
};

}  // namespace app
