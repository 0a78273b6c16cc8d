#include "scan/PageText.h"

#include <algorithm>

namespace scan {

PageText::PageText(const std::vector<std::string>& lines) : lines_(lines) {
  starts_.reserve(lines.size() + 1);
  std::size_t pos = 0;
  for (const std::string& line : lines) {
    starts_.push_back(pos);
    pos += line.size() + 2;
  }
  starts_.push_back(pos);
}

void PageText::Seek(std::size_t pos) {
  // Every line covers at least its CR LF, so each step moves by one line.
  while (line_ + 1 < lines_.size() && pos >= starts_[line_ + 1]) ++line_;
  while (line_ > 0 && pos < starts_[line_]) --line_;
}

char PageText::At(std::size_t pos) {
  Seek(pos);
  const std::string& line = lines_[line_];
  const std::size_t off = pos - starts_[line_];
  if (off < line.size()) return line[off];
  return off == line.size() ? '\r' : '\n';
}

std::size_t PageText::Find(std::size_t pos, char c) {
  while (pos < Size()) {
    Seek(pos);
    const std::string& line = lines_[line_];
    const std::size_t off = pos - starts_[line_];
    if (off < line.size()) {
      const std::size_t hit = line.find(c, off);
      if (hit != std::string::npos) return starts_[line_] + hit;
    }
    pos = starts_[line_ + 1];
  }
  return Size();
}

std::size_t PageText::FindFirstOf(std::size_t pos, char a, char b, char c) {
  while (pos < Size()) {
    Seek(pos);
    const std::string& line = lines_[line_];
    for (std::size_t off = pos - starts_[line_]; off < line.size(); ++off) {
      const char x = line[off];
      if (x == a || x == b || x == c) return starts_[line_] + off;
    }
    pos = starts_[line_ + 1];
  }
  return Size();
}

std::string_view PageText::Slice(std::size_t from, std::size_t to, std::string& scratch) {
  if (to <= from) return {};
  Seek(from);
  {
    const std::string& line = lines_[line_];
    const std::size_t start = starts_[line_];
    if (to <= start + line.size()) return std::string_view(line).substr(from - start, to - from);
  }
  scratch.clear();
  for (std::size_t pos = from; pos < to;) {
    Seek(pos);
    const std::string& line = lines_[line_];
    const std::size_t start = starts_[line_];
    const std::size_t stop = std::min(to, starts_[line_ + 1]) - start;
    std::size_t off = pos - start;
    if (off < line.size()) {
      const std::size_t end = std::min(stop, line.size());
      scratch.append(line, off, end - off);
      off = end;
    }
    for (; off < stop; ++off) scratch.push_back(off == line.size() ? '\r' : '\n');
    pos = start + stop;
  }
  return scratch;
}

}  // namespace scan
