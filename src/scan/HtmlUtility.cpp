#include "scan/HtmlUtility.h"

namespace scan {

namespace {

// The character at `i`, or NUL past the end: the routines were written for
// NUL-terminated text, and the end of a view plays that part here.
char At(std::string_view text, std::size_t i) { return i < text.size() ? text[i] : '\0'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// SplitUrl's cuts as views into the link: the path up to the last "/" after
// the protocol, and the rest behind it.
struct UrlCuts {
  std::string_view protocol;
  std::string_view path;
  std::string_view rest;
};

UrlCuts CutUrl(std::string_view link, bool mailtoAnyCase) {
  UrlCuts cuts;
  std::string_view afterProtocol;
  const std::size_t mailto =
      mailtoAnyCase ? FindIgnoringCase(link, "MAILTO:") : link.find("MAILTO:");
  if (std::size_t sep = link.find("://"); sep != std::string_view::npos) {
    cuts.protocol = link.substr(0, sep);
    afterProtocol = link.substr(sep + 3);
  } else if (mailto != std::string_view::npos) {
    cuts.protocol = "MAILTO:";
    afterProtocol = link.size() > 7 ? link.substr(7) : std::string_view{};
  } else {
    cuts.protocol = "http";
    afterProtocol = link;
  }
  // Moving every segment up to its "/" onto the path, one at a time, leaves
  // the path holding everything up to the last "/".
  const std::size_t slash = afterProtocol.rfind('/');
  if (slash != std::string_view::npos) {
    cuts.path = afterProtocol.substr(0, slash + 1);
    cuts.rest = afterProtocol.substr(slash + 1);
  } else {
    cuts.rest = afterProtocol;
  }
  return cuts;
}

}  // namespace

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Upper(c);
  return out;
}

std::size_t FindIgnoringCase(std::string_view text, std::string_view needle) {
  if (needle.empty() || needle.size() > text.size()) return std::string_view::npos;
  const char first = Upper(needle[0]);
  for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
    if (Upper(text[i]) != first) continue;
    std::size_t j = 1;
    while (j < needle.size() && Upper(text[i + j]) == Upper(needle[j])) ++j;
    if (j == needle.size()) return i;
  }
  return std::string_view::npos;
}

std::string CopyChars(std::string_view from, std::size_t count) {
  if (count > from.size()) count = from.size();
  std::size_t nul = from.substr(0, count).find('\0');
  if (nul != std::string_view::npos) count = nul;
  return std::string(from.substr(0, count));
}

std::string_view TagNameView(std::string_view tag) {
  std::size_t start = 0;
  while (start < tag.size() && (tag[start] == '\t' || tag[start] == ' ' || tag[start] == '<')) ++start;
  std::size_t end = start;
  while (end < tag.size() && tag[end] != '\0' && tag[end] != ' ' && tag[end] != '>') ++end;
  return tag.substr(start, end - start);
}

std::string TagName(std::string_view tag) {
  const std::string_view name = TagNameView(tag);
  return CopyChars(name, name.size());
}

std::optional<std::string_view> FindAttributeView(std::string_view tag, std::string_view name) {
  const std::size_t match = FindIgnoringCase(tag, name);
  if (match == std::string_view::npos) return std::nullopt;

  std::size_t i = match;
  auto endsName = [](char c) { return c == '\0' || c == ' ' || c == '=' || c == '>'; };
  while (i < tag.size() && !endsName(tag[i])) ++i;
  if (At(tag, i) == '=') ++i;
  const char c = At(tag, i);
  if (c != '\0' && c != ' ' && c != '>') {
    char terminator = ' ';
    if (c == '"' || c == '\'') {
      terminator = c;
      ++i;
    }
    while (i < tag.size() && tag[i] != terminator && tag[i] != '\0') ++i;
    if (i < tag.size()) ++i;  // over the terminator (or the NUL)
  }
  return tag.substr(match, i - match);
}

std::string FindAttribute(std::string_view tag, std::string_view name, std::string result) {
  const std::optional<std::string_view> found = FindAttributeView(tag, name);
  return found ? std::string(*found) : result;
}

std::optional<std::string_view> AttributeValueView(std::string_view text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::size_t i = eq + 1;
  char terminator = ' ';
  if (At(text, i) == '"' || At(text, i) == '\'') {
    terminator = text[i];
    ++i;
  }
  std::size_t end = text.find(terminator, i);
  if (end == std::string_view::npos) end = text.size();
  return text.substr(i, end - i);
}

std::string AttributeValue(std::string_view text, std::string result) {
  const std::optional<std::string_view> value = AttributeValueView(text);
  return value ? std::string(*value) : result;
}

SplitUrlResult SplitUrl(std::string_view link) {
  const UrlCuts cuts = CutUrl(link, false);
  SplitUrlResult out;
  out.protocol = std::string(cuts.protocol);
  out.path = std::string(cuts.path);
  if (cuts.rest.find('.') == std::string_view::npos) {
    out.path += cuts.rest;
    if (!out.path.empty() && out.path.back() != '/') out.path.push_back('/');
  } else if (std::size_t q = cuts.rest.find('?'); q != std::string_view::npos) {
    out.fileName = std::string(cuts.rest.substr(0, q));
    out.query = std::string(cuts.rest.substr(q + 1));
  } else {
    out.fileName = std::string(cuts.rest);
  }
  return out;
}

std::string_view SplitUrlFileName(std::string_view link, bool mailtoAnyCase) {
  const std::string_view rest = CutUrl(link, mailtoAnyCase).rest;
  if (rest.find('.') == std::string_view::npos) return {};
  return rest.substr(0, rest.find('?'));
}

}  // namespace scan
