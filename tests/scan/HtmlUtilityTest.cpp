#include "scan/HtmlUtility.h"

#include <gtest/gtest.h>

#include <string>

namespace scan {
namespace {

using namespace std::string_literals;

TEST(HtmlUtility, TagNameEndsOnlyAtBlankNulOrClose) {
  struct Case {
    std::string tag, name;
  } cases[] = {
      {"a href=\"x\"", "a"},
      {" \t<IMG src=x", "IMG"},
      {"A>rest", "A"},
      {"A\r\nhref=x", "A\r\nhref=x"},  // a line break does not end the name
      {"A\thref=x", "A\thref=x"},      // nor does a tab
      {"a\0b c"s, "a"},
      {"", ""},
      {"   ", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(TagName(c.tag), c.name) << c.tag;
}

TEST(HtmlUtility, FindAttributeTakesTheFirstMatchAnywhere) {
  struct Case {
    std::string tag, name, found, value;
  } cases[] = {
      {"a href=\"clip.flv\"", "href", "href=\"clip.flv\"", "clip.flv"},
      {"A HREF='x y.flv' id=1", "href", "HREF='x y.flv'", "x y.flv"},
      {"a href=clip.flv title=x", "HREF", "href=clip.flv ", "clip.flv"},
      {"a href = \"x.flv\"", "href", "href", ""},
      // The first match is inside the title's value.
      {"a title=\"see href\" href=\"x.flv\"", "href", "href\"", ""},
      {"a hreflang=en href=x.flv", "href", "hreflang=en ", "en"},
      {"a name=\"top\"", "href", "", ""},
      {"a href=", "href", "href=", ""},
      {"a href=\"unterminated", "href", "href=\"unterminated", "unterminated"},
      {"a href=\"\"", "href", "href=\"\"", ""},
      {"a href", "href", "href", ""},
      {"a x=1", "", "", ""},
  };
  for (const Case& c : cases) {
    const std::string found = FindAttribute(c.tag, c.name);
    EXPECT_EQ(found, c.found) << c.tag;
    EXPECT_EQ(AttributeValue(found), c.value) << c.tag;
  }
  EXPECT_EQ(FindAttribute("a name=x", "href", "kept"), "kept");
}

TEST(HtmlUtility, AttributeValue) {
  struct Case {
    std::string text, value;
  } cases[] = {
      {"href=\"a b\"", "a b"}, {"href=a b", "a"},   {"href='x'", "x"}, {"href", ""},
      {"href=\"\"", ""},       {"a=b=c", "b=c"},    {"=", ""},         {"href='open", "open"},
  };
  for (const Case& c : cases) EXPECT_EQ(AttributeValue(c.text), c.value) << c.text;
  EXPECT_EQ(AttributeValue("no equals sign", "kept"), "kept");
}

TEST(HtmlUtility, SplitUrl) {
  struct Case {
    std::string link, protocol, path, query, fileName;
  } cases[] = {
      {"HTTP://HOST/MOVIES/A.MPG?X=1", "HTTP", "HOST/MOVIES/", "X=1", "A.MPG"},
      {"clip.flv", "http", "", "", "clip.flv"},
      {"dir/sub", "http", "dir/sub/", "", ""},
      {"http://host/dir/", "http", "host/dir/", "", ""},
      {"MAILTO:A@B.COM", "MAILTO:", "", "", "A@B.COM"},
      // A "/" inside the query cuts the file name off.
      {"A.MP3?U=/B", "http", "A.MP3?U=/B/", "", ""},
      {"", "http", "", "", ""},
      {"ftp://", "ftp", "", "", ""},
  };
  for (const Case& c : cases) {
    const SplitUrlResult r = SplitUrl(c.link);
    EXPECT_EQ(r.protocol, c.protocol) << c.link;
    EXPECT_EQ(r.path, c.path) << c.link;
    EXPECT_EQ(r.query, c.query) << c.link;
    EXPECT_EQ(r.fileName, c.fileName) << c.link;
  }
}

TEST(HtmlUtility, CopyCharsStopsAtNulAndEnd) {
  EXPECT_EQ(CopyChars("abcdef", 3), "abc");
  EXPECT_EQ(CopyChars("a\0bc"s, 4), "a");
  EXPECT_EQ(CopyChars("ab", 5), "ab");
  EXPECT_EQ(CopyChars("", 1), "");
}

}  // namespace
}  // namespace scan
