#include "scan/HtmlUtility.h"

namespace scan {

namespace {

// The character at `i`, or NUL past the end: the routines were written for
// NUL-terminated text, and the end of a view plays that part here.
char At(std::string_view text, std::size_t i) { return i < text.size() ? text[i] : '\0'; }

}  // namespace

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string CopyChars(std::string_view from, std::size_t count) {
  if (count > from.size()) count = from.size();
  std::size_t nul = from.substr(0, count).find('\0');
  if (nul != std::string_view::npos) count = nul;
  return std::string(from.substr(0, count));
}

std::string TagName(std::string_view tag) {
  std::size_t start = 0;
  while (start < tag.size() && (tag[start] == '\t' || tag[start] == ' ' || tag[start] == '<')) ++start;
  std::size_t end = start;
  while (end < tag.size() && tag[end] != '\0' && tag[end] != ' ' && tag[end] != '>') ++end;
  return CopyChars(tag.substr(start), end - start);
}

std::string FindAttribute(std::string_view tag, std::string_view name, std::string result) {
  if (name.empty()) return result;
  // One upper-cased copy per lookup.
  std::size_t match = UpperCase(tag).find(UpperCase(name));
  if (match == std::string::npos) return result;

  std::size_t i = match;
  auto endsName = [&](char c) { return c == '\0' || c == ' ' || c == '=' || c == '>'; };
  while (i < tag.size() && !endsName(tag[i])) ++i;
  if (At(tag, i) == '=') ++i;
  char c = At(tag, i);
  if (c != '\0' && c != ' ' && c != '>') {
    char terminator = ' ';
    if (c == '"' || c == '\'') {
      terminator = c;
      ++i;
    }
    while (i < tag.size() && tag[i] != terminator && tag[i] != '\0') ++i;
    if (i < tag.size()) ++i;  // over the terminator (or the NUL)
  }
  return std::string(tag.substr(match, i - match));
}

std::string AttributeValue(std::string_view text, std::string result) {
  std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return result;
  std::size_t i = eq + 1;
  char terminator = ' ';
  if (At(text, i) == '"' || At(text, i) == '\'') {
    terminator = text[i];
    ++i;
  }
  std::size_t end = text.find(terminator, i);
  if (end == std::string_view::npos) end = text.size();
  return std::string(text.substr(i, end - i));
}

SplitUrlResult SplitUrl(std::string_view link) {
  SplitUrlResult out;
  std::string_view rest;
  if (std::size_t sep = link.find("://"); sep != std::string_view::npos) {
    out.protocol = std::string(link.substr(0, sep));
    rest = link.substr(sep + 3);
  } else if (link.find("MAILTO:") != std::string_view::npos) {
    out.protocol = "MAILTO:";
    rest = link.size() > 7 ? link.substr(7) : std::string_view{};
  } else {
    out.protocol = "http";
    rest = link;
  }
  if (std::size_t slash = rest.rfind('/'); slash != std::string_view::npos) {
    // Moving every segment up to its "/" onto the path, one at a time, leaves
    // the path holding everything up to the last "/".
    out.path = std::string(rest.substr(0, slash + 1));
    rest = rest.substr(slash + 1);
  }
  if (rest.find('.') == std::string_view::npos) {
    out.path += rest;
    if (!out.path.empty() && out.path.back() != '/') out.path.push_back('/');
  } else if (std::size_t q = rest.find('?'); q != std::string_view::npos) {
    out.fileName = std::string(rest.substr(0, q));
    out.query = std::string(rest.substr(q + 1));
  } else {
    out.fileName = std::string(rest);
  }
  return out;
}

}  // namespace scan
