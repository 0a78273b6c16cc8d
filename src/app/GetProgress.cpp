#include "app/GetProgress.h"

#include <algorithm>

namespace app {

namespace {

constexpr int kDefaultRows = 24;

// Cuts `line` to at most `limit` bytes without splitting a UTF-8 sequence.
void CutTo(std::string& line, std::size_t limit) {
  if (line.size() <= limit) return;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  line.resize(cut);
}

}  // namespace

GetProgress::GetProgress(GetOutput output, int slotCount)
    : output_(std::move(output)), rows_(static_cast<std::size_t>(std::max(slotCount, 0))) {}

std::string GetProgress::Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return out;
}

std::string GetProgress::SlotLine(int slot, const SlotRow& row, int columns) {
  std::string line = "[" + std::to_string(slot + 1) + "] ";
  if (!row.active) {
    line += "idle";
  } else {
    line += Printable(row.caption);
    const bool data = !row.progress.empty();
    for (const std::string* part : {&row.state, &row.progress, &row.speed, &row.timeLeft}) {
      if (part->empty() || (data && part == &row.state)) continue;
      line += "  ";
      line += Printable(*part);
    }
  }
  if (columns > 1) CutTo(line, static_cast<std::size_t>(columns - 1));
  return line;
}

GetProgress::SlotRow* GetProgress::Row(int slot) {
  if (slot < 0 || slot >= static_cast<int>(rows_.size())) return nullptr;
  return &rows_[static_cast<std::size_t>(slot)];
}

void GetProgress::Changed() { dirty_ = output_.terminal; }

void GetProgress::SlotStarted(int slot, std::string caption) {
  if (SlotRow* row = Row(slot)) {
    *row = SlotRow{};
    row->active = true;
    row->caption = std::move(caption);
    Changed();
  }
}

void GetProgress::SlotState(int slot, std::string text) {
  if (SlotRow* row = Row(slot)) {
    row->state = std::move(text);
    Changed();
  }
}

void GetProgress::SlotProgress(int slot, std::string text) {
  if (!output_.terminal) return;  // nobody sees it
  if (SlotRow* row = Row(slot)) {
    row->progress = std::move(text);
    Changed();
  }
}

void GetProgress::SlotSpeed(int slot, std::string text) {
  if (!output_.terminal) return;
  if (SlotRow* row = Row(slot)) {
    row->speed = std::move(text);
    Changed();
  }
}

void GetProgress::SlotTimeLeft(int slot, std::string text) {
  if (!output_.terminal) return;
  if (SlotRow* row = Row(slot)) {
    row->timeLeft = std::move(text);
    Changed();
  }
}

void GetProgress::SlotEnded(int slot) {
  if (SlotRow* row = Row(slot)) {
    *row = SlotRow{};
    Changed();
  }
}

std::vector<std::string> GetProgress::BlockLines() const {
  const int columns = output_.columns ? output_.columns() : 0;
  int height = output_.rows ? output_.rows() : 0;
  if (height <= 0) height = kDefaultRows;
  // Room for one printed line above the block, so moving up never scrolls
  // past the top of the screen.
  const std::size_t limit = static_cast<std::size_t>(std::max(1, height - 2));
  std::vector<std::string> lines;
  if (rows_.size() <= limit) {
    for (std::size_t i = 0; i < rows_.size(); ++i) lines.push_back(SlotLine(static_cast<int>(i), rows_[i], columns));
    return lines;
  }
  // More slots than lines: the busy ones, then how many more there are.
  std::size_t busy = 0;
  for (const SlotRow& row : rows_) busy += row.active ? 1 : 0;
  std::size_t shown = 0;
  for (std::size_t i = 0; i < rows_.size() && shown + 1 < limit; ++i) {
    if (!rows_[i].active) continue;
    lines.push_back(SlotLine(static_cast<int>(i), rows_[i], columns));
    ++shown;
  }
  std::string more = std::to_string(busy - shown) + " more transferring, " +
                     std::to_string(rows_.size() - busy) + " slots idle";
  if (columns > 1) CutTo(more, static_cast<std::size_t>(columns - 1));
  lines.push_back(std::move(more));
  return lines;
}

std::string GetProgress::EraseBlock() {
  if (drawn_ == 0) return {};
  std::string seq = "\x1b[" + std::to_string(drawn_) + "A\r\x1b[J";
  drawn_ = 0;
  return seq;
}

std::string GetProgress::DrawBlock() {
  // Drawn over the old block in place, so it does not flicker.
  std::string seq;
  if (drawn_ > 0) seq = "\x1b[" + std::to_string(drawn_) + "A\r";
  const std::vector<std::string> lines = BlockLines();
  for (const std::string& line : lines) {
    seq += "\x1b[2K";
    seq += line;
    seq += '\n';
  }
  if (static_cast<int>(lines.size()) < drawn_) seq += "\x1b[J";
  drawn_ = static_cast<int>(lines.size());
  dirty_ = false;
  return seq;
}

void GetProgress::Line(std::string_view text) {
  std::string line = Printable(text);
  line += '\n';
  if (!output_.terminal) {
    output_.out(line);
    return;
  }
  const bool redraw = drawn_ > 0;
  std::string seq = EraseBlock() + line;
  if (redraw) seq += DrawBlock();
  output_.out(seq);
}

void GetProgress::ErrorLine(std::string_view text) {
  std::string line = Printable(text);
  line += '\n';
  if (!output_.terminal || !output_.errOnTerminal || drawn_ == 0) {
    output_.err(line);
    return;
  }
  output_.out(EraseBlock());
  output_.err(line);
  output_.out(DrawBlock());
}

void GetProgress::Refresh() {
  if (!output_.terminal || !dirty_) return;
  output_.out(DrawBlock());
}

void GetProgress::Finish() {
  if (!output_.terminal) return;
  const std::string seq = EraseBlock();
  if (!seq.empty()) output_.out(seq);
  dirty_ = false;
}

}  // namespace app
