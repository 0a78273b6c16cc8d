// A small, forgiving tag scanner: given the lines of one page, Execute walks
// the text once and fills `Parsed()` with the links of every A tag and the
// other result lists. It builds no tree, decodes no entities and never fails;
// malformed markup only shortens the results. The text after the last tag is
// never reported, and an unclosed title stays open into the next Execute.
// Events run synchronously inside Execute; the scanner assigns none of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/HtmlParsed.h"

namespace scan {

class HtmlLinkParser {
 public:
  // Progress: `lines` is the number of characters consumed so far, `total`
  // the length of the text.
  std::function<void(HtmlLinkParser& sender, std::size_t lines, std::size_t total)> OnParsing;
  // A run of text between tags, outside the title.
  std::function<void(HtmlLinkParser& sender, const std::string& text)> OnFoundText;
  // A tag whose text does not contain "!--" (without its "<" and ">").
  std::function<void(HtmlLinkParser& sender, const std::string& tag)> OnFoundTag;
  // A comment tag without its first four and last three characters
  // ("!-- x --" gives "x").
  std::function<void(HtmlLinkParser& sender, const std::string& comment)> OnFoundComment;
  // A link with a scheme other than mailto, ftp and http.
  std::function<void(HtmlLinkParser& sender, const std::string& hyperlink)> OnFoundHyperlink;

  // Replaces the stored lines with a copy of `lines`. Handlers running inside
  // Execute see HTML() empty; one that assigns it keeps its lines.
  void SetHTML(std::vector<std::string> lines) {
    html_ = std::move(lines);
    ++htmlGeneration_;
  }
  const std::vector<std::string>& HTML() const { return html_; }

  // Clears `Parsed()` and parses the lines joined, each followed by CR LF.
  void Execute();

  // Valid until the next Execute.
  const TParsed& Parsed() const { return parsed_; }

  bool TitleOpen() const { return titleOpen_; }
  const std::string& TitleBuffer() const { return titleBuffer_; }

 private:
  void Parse(const std::vector<std::string>& lines);
  void HandleText(std::string_view text);
  void HandleTag(std::string_view tag);
  void HandleLink(std::string_view tag);
  void HandleMeta(std::string_view tag);

  std::vector<std::string> html_;
  std::uint64_t htmlGeneration_ = 0;
  TParsed parsed_;
  bool titleOpen_ = false;
  std::string titleBuffer_;
};

}  // namespace scan
