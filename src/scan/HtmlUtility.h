// The HTML parser's utility routines: tag names, attribute lookup and link
// splitting on raw tag text. They never read past the text they are given (the
// end of a text counts as a NUL), never decode entities and never trim. The
// *View forms return views into their input; the parser uses them so that a
// tag costs no copies beyond the values it stores.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace scan {

// The parts of a link, as SplitUrl cuts them.
struct SplitUrlResult {
  std::string protocol;
  std::string path;
  std::string query;
  std::string fileName;
};

// ASCII letters upper-cased, every other byte kept.
std::string UpperCase(std::string_view text);

// The first position of `needle` in `text`, ASCII letter case ignored (the
// same as searching both upper-cased); npos when absent or `needle` is empty.
std::size_t FindIgnoringCase(std::string_view text, std::string_view needle);

// Up to `count` characters from the start of `from`, stopping early at a NUL
// or at the end of `from`.
std::string CopyChars(std::string_view from, std::size_t count);

// The tag's name: after leading tabs, blanks and "<", up to the first NUL,
// blank or ">". A tab or a line break does not end it.
std::string TagName(std::string_view tag);
std::string_view TagNameView(std::string_view tag);

// The attribute's name and value as written in `tag`, starting at the first
// occurrence of `name` anywhere in the tag (letter case ignored, even inside
// another attribute's value). When `name` does not occur, `result` is returned
// unchanged (the view form gives nullopt).
std::string FindAttribute(std::string_view tag, std::string_view name, std::string result = {});
std::optional<std::string_view> FindAttributeView(std::string_view tag, std::string_view name);

// The value of a "name=value" text: after the first "=", up to the closing
// quote when it starts with one, else up to the next blank or the end. Without
// "=" `result` is returned unchanged (the view form gives nullopt).
std::string AttributeValue(std::string_view text, std::string result = {});
std::optional<std::string_view> AttributeValueView(std::string_view text);

// Protocol, path, query and file name of a link (see the parser's link
// handling: the file name is the last segment when it holds a ".").
SplitUrlResult SplitUrl(std::string_view link);
// SplitUrl(link).fileName as a view into `link`. With `mailtoAnyCase` the
// "MAILTO:" test ignores letter case, which gives the file name SplitUrl
// would find in the upper-cased link, in the link's own letter case.
std::string_view SplitUrlFileName(std::string_view link, bool mailtoAnyCase = false);

}  // namespace scan
