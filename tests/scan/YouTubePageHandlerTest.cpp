#include "scan/YouTubePageHandler.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "scan/SiteQueue.h"
#include "scan/YouTubeSite.h"

namespace scan {
namespace {

// The page text as the scanner hands it over: every line followed by CR LF.
std::string PageText(const std::string& fixture) {
  std::ifstream in(std::string(SCAN_FIXTURES) + fixture);
  std::string text;
  for (std::string line; std::getline(in, line);) text += line + "\r\n";
  return text;
}

// A page holding the given swfargs object and fullscreen address.
std::string Page(const std::string& args, const std::string& fullscreen) {
  return "<script>\r\nvar swfArgs = {" + args + "};\r\nvar fullscreenUrl = '" + fullscreen + "';\r\n</script>\r\n";
}

const std::string kVideo = "http://www.youtube.com/get_video?";

TEST(YouTubePageHandler, CutKeyedField) {
  struct Case {
    std::string text, key, field;
  } cases[] = {
      {"\"a\": 1, \"b\": \"x\", \"c\": 3", "\"b\":", "\"b\": \"x\""},
      {"\"a\": 1, \"b\": \"x\"", "\"b\":", "\"b\": \"x\""},  // no comma after it: to the end
      {"\"a\": 1, \"b\": 2", "\"z\":", "\"a\": 1,"},         // absent: from the start, comma included
      {"\"a\": 1", "\"z\":", "\"a\": 1"},
      {"", "\"z\":", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CutKeyedField(c.text, c.key), c.field) << c.text << " / " << c.key;
}

TEST(YouTubePageHandler, FixturePageGivesOneVideoEntry) {
  const std::string text = PageText("youtube_watch.html");
  ASSERT_TRUE(IsYouTubeVideoPage("http://www.YouTube.com/watch?v=abc123", text));
  // The title's "%20" and "+" become blanks, ":" and "," become "_", and
  // every "&amp;" becomes "&".
  EXPECT_EQ(BuildYouTubeEntry(text),
            "My Clip Part_1_ the & best," + kVideo + "video_id=abc123&l=213&t=OEgsToPDskJ&x&sk=Sk_Key-1");
}

TEST(YouTubePageHandler, FieldsAndTitle) {
  struct Case {
    const char* what;
    std::string page;
    std::string entry;
  } cases[] = {
      {"quoted keys and values",
       Page("\"video_id\":\"v1\",\"l\":\"90\",\"t\":\"tt\",\"sk\":\"ss\"", "/w?title=A+b%3F"),
       "A b_," + kVideo + "video_id=v1&l=\"90\"&t=tt&sk=ss"},
      {"t without quotes is empty",
       Page("\"video_id\": \"v1\", \"l\": 90, \"t\": tt, \"sk\": \"ss\"", "/w?title=x"),
       "x," + kVideo + "video_id=v1&l=90&t=&sk=ss"},
      {"doubled quotes inside a value",
       Page("\"video_id\": \"a\"\"b\", \"l\": 1, \"t\": \"t\", \"sk\": \"s\"", "/w?title=x"),
       "x," + kVideo + "video_id=a\"b&l=1&t=t&sk=s"},
      {"names compared without regard to case",
       Page("\"VIDEO_ID\": \"v\", \"L\": 1, \"T\": \"t\", \"SK\": \"s\"", "/w?title=x"),
       // The keys are searched as written, so each piece is the first field;
       // its name matches "video_id" only.
       "x," + kVideo + "video_id=v&l=&t=&sk="},
      {"&amp; in a value, any letter case",
       Page("\"video_id\": \"v\", \"l\": 1, \"t\": \"a&AMP;b\", \"sk\": \"s\"", "/w?title=x"),
       "x," + kVideo + "video_id=v&l=1&t=a&b&sk=s"},
      {"missing keys give empty values",
       Page("\"video_id\": \"v\"", "/w?title=x"),
       "x," + kVideo + "video_id=v&l=&t=&sk="},
      {"comma, colon and quotes in the title",
       Page("\"video_id\": \"v\", \"l\": 1, \"t\": \"t\", \"sk\": \"s\"", "/w?video_id=v&title=Big%2C%20Bad:%22Wolf%22"),
       "Big_ Bad__Wolf_," + kVideo + "video_id=v&l=1&t=t&sk=s"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildYouTubeEntry(c.page), c.entry) << c.what;
}

TEST(YouTubePageHandler, MissingPartsOnlyGiveEmptyPieces) {
  // Without "fullscreenurl" the title is cut from the start of the page text
  // (from its sixth character when "title=" is absent too).
  EXPECT_EQ(BuildYouTubeEntry("0123456789;swfargs {\"video_id\": \"v\"}"),
            "56789," + kVideo + "video_id=v&l=&t=&sk=");
  // Without braces or a ";" nothing is found, but an entry is still built.
  EXPECT_EQ(BuildYouTubeEntry("swfargs"), "," + kVideo + "video_id=&l=&t=&sk=");
}

TEST(YouTubePageHandler, WhichPagesAreVideoPages) {
  EXPECT_TRUE(IsYouTubeVideoPage("http://www.youtube.com/watch?v=1", "x SWFARGS y"));
  EXPECT_FALSE(IsYouTubeVideoPage("http://www.youtube.com/watch?v=1", "<a href=a.flv>"));
  EXPECT_FALSE(IsYouTubeVideoPage("http://www.example.com/watch?v=1", "swfargs"));
}

TEST(YouTubePageHandler, SamePageTwiceIsQueuedOnce) {
  SiteQueue queue;
  const std::string text = PageText("youtube_watch.html");
  HandleYouTubePage(text, queue);
  HandleYouTubePage(text, queue);  // holds "&amp;": compared after it became "&"
  ASSERT_EQ(queue.Count(), 1u);
  EXPECT_EQ(queue[0], BuildYouTubeEntry(text));
}

TEST(YouTubePageHandler, EntriesBuiltForVideosAreRecognised) {
  const std::string entry = BuildYouTubeEntry(PageText("youtube_watch.html"));
  EXPECT_NE(entry.find(YouTubeMarker), std::string::npos);
  EXPECT_TRUE(IsYouTubeEntry(entry));
  // An ordinary link to the site is no video entry.
  EXPECT_FALSE(IsYouTubeEntry("http://www.youtube.com/v/x.flv"));
  EXPECT_FALSE(IsYouTubeEntry("x.flv,http://www.youtube.com/v/x.flv"));
  EXPECT_FALSE(IsYouTubeEntry("a,b,http://www.youtube.com/get_video?x"));
}

}  // namespace
}  // namespace scan
