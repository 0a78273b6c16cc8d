// What velmora-get shows while it runs. On a terminal it keeps one line per
// download slot below the output (file, progress, speed, time left), redrawn
// in place by Refresh(); lines printed meanwhile scroll above that block.
// Elsewhere it prints plain lines only. Control characters of names and
// addresses, which come from the network, are shown as "?", so a page cannot
// send escape sequences to the user's terminal.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

struct GetOutput {
  // Write all the bytes given; each call is one write to that stream.
  std::function<void(std::string_view)> out;
  std::function<void(std::string_view)> err;
  bool terminal = false;       // the standard output is a terminal
  bool errOnTerminal = false;  // the standard error is a terminal as well
  // The terminal's size; 0 when unknown.
  std::function<int()> columns;
  std::function<int()> rows;
};

class GetProgress {
 public:
  GetProgress(GetOutput output, int slotCount);

  void SlotStarted(int slot, std::string caption);
  void SlotState(int slot, std::string text);  // "Connected", "Transferring"
  void SlotProgress(int slot, std::string text);
  void SlotSpeed(int slot, std::string text);
  void SlotTimeLeft(int slot, std::string text);
  void SlotEnded(int slot);

  // A line on the standard output that stays.
  void Line(std::string_view text);
  // A line on the standard error.
  void ErrorLine(std::string_view text);

  // Terminal only: redraws the slot lines when they changed since last time.
  void Refresh();
  // Terminal only: removes the slot lines, leaving the printed lines.
  void Finish();

  bool Terminal() const { return output_.terminal; }

  struct SlotRow {
    bool active = false;
    std::string caption, state, progress, speed, timeLeft;
  };
  // One slot's line: "[n] caption  progress  speed  time left" (the state in
  // place of the three until data arrives), cut to `columns` - 1 characters
  // when `columns` is positive. Slots are shown counted from 1.
  static std::string SlotLine(int slot, const SlotRow& row, int columns);
  // `text` with every control character as "?".
  static std::string Printable(std::string_view text);

 private:
  SlotRow* Row(int slot);
  void Changed();
  std::vector<std::string> BlockLines() const;
  std::string EraseBlock();
  std::string DrawBlock();

  GetOutput output_;
  std::vector<SlotRow> rows_;
  int drawn_ = 0;  // slot lines on the screen above the cursor
  bool dirty_ = false;
};

}  // namespace app
