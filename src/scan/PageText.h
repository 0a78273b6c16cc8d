// The lines of a page seen as one text, each line followed by CR LF, without
// joining them into a copy. Positions are 0-based offsets into that text.
// Searches and slices move a cursor, so forward walks cost no lookups. The
// lines must stay unchanged while a PageText looks at them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace scan {

class PageText {
 public:
  explicit PageText(const std::vector<std::string>& lines);

  std::size_t Size() const { return starts_.back(); }
  // The character at `pos` (< Size()).
  char At(std::size_t pos);
  // The first position at or after `pos` holding `c`, or Size(). `c` is
  // neither CR nor LF.
  std::size_t Find(std::size_t pos, char c);
  // The same for the first of three characters (none of them CR or LF).
  std::size_t FindFirstOf(std::size_t pos, char a, char b, char c);
  // The text from `from` up to `to`: a view into a line when it lies within
  // one line's own characters, otherwise a copy made in `scratch`.
  std::string_view Slice(std::size_t from, std::size_t to, std::string& scratch);

 private:
  void Seek(std::size_t pos);

  const std::vector<std::string>& lines_;
  // starts_[i]: where line i begins; the last entry is the text's length.
  std::vector<std::size_t> starts_;
  std::size_t line_ = 0;
};

}  // namespace scan
