#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "scan/ActiveExtensions.h"
#include "scan/LinkCompletion.h"
#include "scan/SiteFolder.h"

namespace scan {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

TEST(LinkSelection, IsMediaLinkIsASubstringTestIgnoringCase) {
  struct Case {
    const char* activeList;
    std::string link;
    bool media;
  } cases[] = {
      {".flv,.mpeg", "http://h/Clip.FLV", true},
      {".flv,.mpeg", "movie.mpeg4", true},
      {".flv,.mpeg", "movie.mp4", false},
      {".au", "http://www.example.com.au/index.html", true},
      {".mp3", "song.mp3?x=1", true},
      {".mp3", "song.mp3.html", true},
      {",.flv", "a.wmv", false},  // the empty piece matches nothing
      {".FLV", "a.flv", true},
      {".flv, .mpg", "a.mpg", false},  // " .mpg" keeps its blank
      {".flv, .mpg", "my .mpg", true},
  };
  for (const Case& c : cases) {
    Lines extensions;
    FillActiveExtensions(c.activeList, extensions);
    EXPECT_EQ(IsMediaLink(c.link, extensions), c.media) << c.activeList << " / " << c.link;
  }
}

TEST(LinkSelection, BlankActiveListKeepsThePreviousList) {
  Lines extensions;
  FillActiveExtensions("  ", extensions);
  EXPECT_TRUE(extensions.empty());
  EXPECT_FALSE(IsMediaLink("a.flv", extensions));

  FillActiveExtensions(".FLV,.Mpg", extensions);
  EXPECT_EQ(extensions, (Lines{".flv", ".mpg"}));
  FillActiveExtensions("", extensions);
  EXPECT_EQ(extensions, (Lines{".flv", ".mpg"}));
}

TEST(LinkSelection, CompleteLinkAgainstThePageAddress) {
  struct Case {
    std::string address, link;
    std::optional<std::string> completed;
  } cases[] = {
      {"http://h/dir/page.html", "a.flv", "http://h/dir/a.flv"},
      // Rooted links belong to the host, "//" links to the page's scheme.
      {"http://h/dir/page.html", "/v/a.flv", "http://h/v/a.flv"},
      {"http://h:8080/dir/page.html", "/a.flv", "http://h:8080/a.flv"},
      {"https://h/dir/page.html", "//cdn.example/a.flv", "https://cdn.example/a.flv"},
      {"http://h", "/a.flv", "http://h/a.flv"},
      // "../" stops at the host.
      {"http://h/dir/page.html", "../../../a.flv", "http://h/a.flv"},
      {"http://h/dir/page.html", "../a.flv", "http://h/a.flv"},
      {"http://h/dir/page.html", "sub/a.flv", "http://h/dir/sub/a.flv"},
      {"http://h/a/b/page.html", "../../a.flv", "http://h/a.flv"},
      {"http://h/dir/", "a.flv", "http://h/dir/a.flv"},
      // Absolute in any letter case, kept as written.
      {"http://h/dir/page.html", "HTTP://Other/A.flv", "HTTP://Other/A.flv"},
      {"http://h/dir/page.html", "hTTpS://other/a.flv", "hTTpS://other/a.flv"},
      {"http://h/dir/page.html", " http://other/a.flv", " http://other/a.flv"},
      // Other schemes cannot be downloaded.
      {"http://h/dir/page.html", "ftp://other/a.flv", std::nullopt},
      {"http://h/dir/page.html", "mailto:a@b.c?s=a.flv", std::nullopt},
      {"http://h/dir/page.html", "javascript:play('a.flv')", std::nullopt},
      {"http://h/dir/page.html", "JavaScript:x('a.flv')", std::nullopt},
      // A colon after the first "/" is no scheme.
      {"http://h/dir/page.html", "clips/a:b.flv", "http://h/dir/clips/a:b.flv"},
      {"http://h/dir/page.html", "./a.flv", "http://h/dir/./a.flv"},
      // A link that only holds "http://" further on is not absolute.
      {"http://h/dir/page.html", "go?to=http://x/a.flv", "http://h/dir/go?to=http://x/a.flv"},
      // An address that ends at its host has the host's root as its folder,
      // not the "//" of its scheme.
      {"http://h", "a.flv", "http://h/a.flv"},
      {"http://h:8080", "sub/a.flv", "http://h:8080/sub/a.flv"},
      {"http://h", "../a.flv", "http://h/a.flv"},
      // A "/" in the page's query or fragment names no folder.
      {"http://h/dir/page.php?next=/x/y", "a.flv", "http://h/dir/a.flv"},
      {"http://h/dir/page.html#/tab/1", "../a.flv", "http://h/a.flv"},
      {"http://h?x=/y", "a.flv", "http://h/a.flv"},
      {"http://h?x=/y", "/v/a.flv", "http://h/v/a.flv"},
      // Only a leading "../" climbs; ".." further on is an ordinary segment.
      {"http://h/dir/page.html", "sub/../a.flv", "http://h/dir/sub/../a.flv"},
      {"http://h/dir/page.html", "a..b/c.flv", "http://h/dir/a..b/c.flv"},
  };
  for (const Case& c : cases) EXPECT_EQ(CompleteLink(c.address, c.link), c.completed) << c.link;
}

TEST(LinkSelection, ResolveRelativeLink) {
  struct Case {
    std::string base, link, resolved;
  } cases[] = {
      {"http://h/dir/", "/v/a.flv", "http://h/dir/v/a.flv"},
      {"http://h/dir/", "v/a.flv", "http://h/dir/v/a.flv"},
      {"http://h/a/b/", "../a.flv", "http://h/a/a.flv"},
      {"http://h/a/b/", "../../x/a.flv", "http://h/x/a.flv"},
      {"", "../a.flv", "/a.flv"},
      {"http://h/", "../../../../a.flv", "http://h/a.flv"},
      {"http://h/dir/", "..", "http://h/"},
      {"http://h/a/b/", "../..", "http://h/"},
      {"http://h/a/b/", "../x/../a.flv", "http://h/a/x/../a.flv"},
      {"http://h/dir/", "v..w/a.flv", "http://h/dir/v..w/a.flv"},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveRelativeLink(c.base, c.link), c.resolved) << c.base << c.link;
}

TEST(LinkSelection, ExtractSiteHostAndSiteFolderName) {
  struct Case {
    std::string address, host, folder;
  } cases[] = {
      {"http://www.example.com/dir/page.html", "www.example.com", "www.example.com"},
      {"HTTP://Example.COM:8080/x", "Example.COM:8080", "Example.COM_8080"},
      {"https://secure.example.com", "secure.example.com", "secure.example.com"},
      {"http://h:1:2/", "h:1:2", "h:1_2"},  // from the third character on
      {"http://a:/", "a:", "a:"},  // the first two characters keep their ":"
      {"about:blank", "", ""},
      {"ftp://files.example.com/x", "", ""},
      {"see http://h/x", "", ""},
      {"", "", ""},
      // Hosts that would name a place outside the output folder.
      {"http://../x.html", "..", ""},
      {"http://./", ".", ""},
      {"http:///x", "", ""},
      {"http://a\\..\\b/", "a\\..\\b", ""},
      {"http://..\0x/"s, "..\0x"s, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractSiteHost(c.address), c.host) << c.address;
    EXPECT_EQ(SiteFolderName(c.address), c.folder) << c.address;
  }
}

}  // namespace
}  // namespace scan
