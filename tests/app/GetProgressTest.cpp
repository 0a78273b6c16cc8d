// velmora-get's progress lines. The terminal output is played on a small
// screen model (cursor up, carriage return, erase line, erase below, new
// line), so the tests look at what the user sees, not at escape codes.
#include "app/GetProgress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using app::GetOutput;
using app::GetProgress;

// The part of a terminal velmora-get uses.
class Screen {
 public:
  void Play(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const char c = bytes[i];
      if (c == '\x1b') {
        ASSERT_LT(i + 2, bytes.size());
        ASSERT_EQ(bytes[i + 1], '[');
        std::size_t j = i + 2;
        int n = 0;
        bool hasNumber = false;
        while (j < bytes.size() && bytes[j] >= '0' && bytes[j] <= '9') {
          n = n * 10 + (bytes[j] - '0');
          hasNumber = true;
          ++j;
        }
        ASSERT_LT(j, bytes.size());
        switch (bytes[j]) {
          case 'A':
            row_ -= hasNumber ? n : 1;
            ASSERT_GE(row_, 0) << "moved above the first line";
            break;
          case 'K':
            ASSERT_EQ(n, 2);
            Line().clear();
            col_ = 0;  // only used at the start of a line here
            break;
          case 'J':
            Line().resize(col_);
            lines_.resize(static_cast<std::size_t>(row_) + 1);
            break;
          default:
            FAIL() << "unexpected sequence " << bytes[j];
        }
        i = j;
      } else if (c == '\r') {
        col_ = 0;
      } else if (c == '\n') {
        ++row_;
        col_ = 0;
      } else {
        std::string& line = Line();
        if (line.size() <= col_) line.resize(col_ + 1, ' ');
        line[col_++] = c;
      }
    }
  }
  // The lines above the cursor's line, and the cursor's line when not empty.
  std::vector<std::string> Lines() {
    std::vector<std::string> shown(lines_.begin(), lines_.begin() + std::min<std::size_t>(lines_.size(), row_));
    if (static_cast<std::size_t>(row_) < lines_.size() && !lines_[row_].empty()) shown.push_back(lines_[row_]);
    return shown;
  }

 private:
  std::string& Line() {
    if (lines_.size() <= static_cast<std::size_t>(row_)) lines_.resize(static_cast<std::size_t>(row_) + 1);
    return lines_[static_cast<std::size_t>(row_)];
  }
  std::vector<std::string> lines_;
  int row_ = 0;
  std::size_t col_ = 0;
};

struct Capture {
  std::string out, err;
  Screen screen;  // out and err both, when both are the terminal
  GetOutput Output(bool terminal, int columns = 80, int rows = 24) {
    GetOutput o;
    o.out = [this](std::string_view s) {
      out += s;
      screen.Play(s);
    };
    o.err = [this](std::string_view s) {
      err += s;
      screen.Play(s);
    };
    o.terminal = terminal;
    o.errOnTerminal = terminal;
    o.columns = [columns] { return columns; };
    o.rows = [rows] { return rows; };
    return o;
  }
};

TEST(GetProgressTest, PlainOutputHasOnlyTheLinesPrinted) {
  Capture c;
  GetProgress p(c.Output(false), 2);
  p.SlotStarted(0, "a.flv");
  p.SlotState(0, "Connected");
  p.SlotProgress(0, "50% of 1.00 MB");
  p.Refresh();
  p.Line("Finished: /dl/h/a.flv");
  p.ErrorLine("Error: HTTP 404 Not Found - http://h/b.flv");
  p.Refresh();
  p.Finish();
  EXPECT_EQ(c.out, "Finished: /dl/h/a.flv\n");
  EXPECT_EQ(c.err, "Error: HTTP 404 Not Found - http://h/b.flv\n");
}

TEST(GetProgressTest, TerminalKeepsOneLinePerSlotBelowThePrintedLines) {
  Capture c;
  GetProgress p(c.Output(true), 3);
  p.Line("Page: 2 media links - http://h/");
  p.SlotStarted(0, "a.flv");
  p.SlotState(0, "Connected");
  p.SlotStarted(2, "c.flv");
  p.SlotState(2, "Transferring");
  p.SlotProgress(2, "10% of 2.00 MB");
  p.SlotSpeed(2, "100.00 KB/Sec");
  p.SlotTimeLeft(2, "00:00:18");
  p.Refresh();
  EXPECT_EQ(c.screen.Lines(), (std::vector<std::string>{"Page: 2 media links - http://h/", "[1] a.flv  Connected",
                                                        "[2] idle",
                                                        "[3] c.flv  10% of 2.00 MB  100.00 KB/Sec  00:00:18"}));

  // Lines printed meanwhile go above the block, on either stream.
  p.SlotEnded(0);
  p.Line("Finished: /dl/h/a.flv");
  p.ErrorLine("Error: Aborted - x.flv");
  p.SlotProgress(2, "55% of 2.00 MB");
  p.Refresh();
  EXPECT_EQ(c.screen.Lines(),
            (std::vector<std::string>{"Page: 2 media links - http://h/", "Finished: /dl/h/a.flv",
                                      "Error: Aborted - x.flv", "[1] idle", "[2] idle",
                                      "[3] c.flv  55% of 2.00 MB  100.00 KB/Sec  00:00:18"}));

  // Nothing changed: nothing drawn.
  const std::size_t before = c.out.size();
  p.Refresh();
  EXPECT_EQ(c.out.size(), before);

  p.Finish();
  p.Line("Done: 1 finished, 1 failed");
  EXPECT_EQ(c.screen.Lines(), (std::vector<std::string>{"Page: 2 media links - http://h/", "Finished: /dl/h/a.flv",
                                                        "Error: Aborted - x.flv", "Done: 1 finished, 1 failed"}));
}

TEST(GetProgressTest, SlotLinesFitTheTerminal) {
  // Wider than the screen: cut, never split inside a character.
  Capture narrow;
  GetProgress p(narrow.Output(true, 16), 1);
  p.SlotStarted(0, "cl\xC3\xA9ment.flv");  // "clément"
  p.Refresh();
  EXPECT_EQ(narrow.screen.Lines(), (std::vector<std::string>{"[1] cl\xC3\xA9ment.fl"}));
  Capture narrower;
  GetProgress q(narrower.Output(true, 8), 1);
  q.SlotStarted(0, "\xC3\xA9\xC3\xA9\xC3\xA9");
  q.Refresh();
  EXPECT_EQ(narrower.screen.Lines(), (std::vector<std::string>{"[1] \xC3\xA9"}));

  // More slots than lines: the busy ones and a count of the rest.
  Capture small;
  GetProgress r(small.Output(true, 80, 5), 10);
  for (int slot : {1, 4, 6, 9}) r.SlotStarted(slot, "f" + std::to_string(slot));
  r.Refresh();
  EXPECT_EQ(small.screen.Lines(),
            (std::vector<std::string>{"[2] f1", "[5] f4", "2 more transferring, 6 slots idle"}));
}

TEST(GetProgressTest, ControlCharactersFromTheNetworkAreNotSentToTheTerminal) {
  Capture c;
  GetProgress p(c.Output(true), 1);
  p.SlotStarted(0, "evil\x1b]0;title\x07.flv");
  p.Refresh();
  p.Line("Finished: /dl/h/evil\x1b[2J.flv\r\nfake line");
  p.ErrorLine(std::string("Error: bad\0name", 15));
  EXPECT_EQ(c.screen.Lines(), (std::vector<std::string>{"Finished: /dl/h/evil?[2J.flv??fake line",
                                                        "Error: bad?name", "[1] evil?]0;title?.flv"}));
  EXPECT_EQ(c.err, "Error: bad?name\n");
}

}  // namespace
