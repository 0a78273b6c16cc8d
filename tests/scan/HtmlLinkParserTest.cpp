#include "scan/HtmlLinkParser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace scan {
namespace {

using Lines = std::vector<std::string>;

TParsed Parse(const Lines& lines) {
  HtmlLinkParser parser;
  parser.SetHTML(lines);
  parser.Execute();
  return parser.Parsed();
}

Lines ReadFixture(const std::string& name) {
  std::ifstream in(std::string(SCAN_FIXTURES) + name);
  Lines lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(HtmlLinkParser, LinkEdgeCases) {
  struct Case {
    const char* what;
    std::string html;
    Lines hyperlinks, locallinks, httplinks, mediaLocal, mediaRemote;
  } cases[] = {
      {"double-quoted relative", "<a href=\"clip.flv\">x</a>", {"clip.flv"}, {"clip.flv"}, {}, {"clip.flv"}, {}},
      {"capitals, single quotes, query",
       "<A HREF='http://Host/Dir/a.MPG?x=1'>x</A>",
       {"http://Host/Dir/a.MPG?x=1"},
       {},
       {"http://Host/Dir/a.MPG?x=1"},
       {},
       {"http://Host/Dir/a.MPG?x=1"}},
      {"name only", "<a name=\"top\">x</a>", {""}, {""}, {}, {}, {}},
      {"blanks around =", "<a href = \"clip.flv\">x</a>", {""}, {""}, {}, {}, {}},
      {"href inside the title value",
       "<a title=\"our href\" href=\"clip.flv\">x</a>",
       {""}, {""}, {}, {}, {}},
      {"quoted > inside the tag",
       "<a title=\"a > b\" href='x>y.flv'>x</a>",
       {"x>y.flv"}, {"x>y.flv"}, {}, {"x>y.flv"}, {}},
      {"line break after the name", "<a\r\nhref=\"clip.flv\">x</a>", {}, {}, {}, {}, {}},
      {"no entity decoding", "<a href=\"a.flv?x=1&amp;y=2\">x</a>",
       {"a.flv?x=1&amp;y=2"}, {"a.flv?x=1&amp;y=2"}, {}, {"a.flv?x=1&amp;y=2"}, {}},
  };
  for (const Case& c : cases) {
    const TParsed p = Parse({c.html});
    EXPECT_EQ(p.Hyperlinks, c.hyperlinks) << c.what;
    EXPECT_EQ(p.Locallinks, c.locallinks) << c.what;
    EXPECT_EQ(p.HTTPlinks, c.httplinks) << c.what;
    EXPECT_EQ(p.Media.Local, c.mediaLocal) << c.what;
    EXPECT_EQ(p.Media.Remote, c.mediaRemote) << c.what;
  }
}

TEST(HtmlLinkParser, FileTypeClassFirstMatchingRowWins) {
  struct Case {
    std::string link;
    TLocalRemote TParsed::*kind;  // nullptr: no class list
    bool remote;
  } cases[] = {
      {"page.htm", &TParsed::HTML, false},
      {"http://h/page.HTML#top", &TParsed::HTML, true},
      {"x.phtml", &TParsed::HTML, false},  // row 1 before row 7
      {"pic.jpeg", &TParsed::Image, false},
      {"a.divx", &TParsed::Media, false},
      {"a.MPEG-4", &TParsed::Media, false},
      {"app.js", &TParsed::Java, false},
      {"x.aspx", &TParsed::ASP, false},
      {"run.cgi", &TParsed::PERL, false},
      {"http://h/i.php3?a=b", &TParsed::PHP, true},
      {"setup.cab", &TParsed::ActiveX, false},
      {"readme.txt", nullptr, false},
      {"http://h/dir/", nullptr, true},
      {"song.mp3?u=/b", nullptr, false},  // the "/" in the query hides the file name
      {"https://h/a.flv", &TParsed::Media, false},  // holds no "HTTP://"
  };
  TLocalRemote TParsed::*all[] = {&TParsed::HTML, &TParsed::Image, &TParsed::Media, &TParsed::Java,
                                  &TParsed::ActiveX, &TParsed::ASP, &TParsed::PHP, &TParsed::PERL};
  for (const Case& c : cases) {
    const TParsed p = Parse({"<a href=\"" + c.link + "\">"});
    for (auto kind : all) {
      const bool here = kind == c.kind;
      EXPECT_EQ((p.*kind).Local, here && !c.remote ? Lines{c.link} : Lines{}) << c.link;
      EXPECT_EQ((p.*kind).Remote, here && c.remote ? Lines{c.link} : Lines{}) << c.link;
    }
  }
}

TEST(HtmlLinkParser, SchemeListsAndOtherSchemeEvent) {
  HtmlLinkParser parser;
  Lines others;
  parser.OnFoundHyperlink = [&](HtmlLinkParser&, const std::string& link) { others.push_back(link); };
  parser.SetHTML({"<a href=\"mailto:me@example.com\"><a href=\"FTP://h/f.zip\"><a href=\"http://h/\">",
                  "<a href=\"local.html\"><a href=\"https://h/a.flv\"><a href=\"news://h/g\">"});
  parser.Execute();
  const TParsed& p = parser.Parsed();
  EXPECT_EQ(p.EMails, Lines{"me@example.com"});
  EXPECT_EQ(p.FTPlinks, Lines{"FTP://h/f.zip"});
  EXPECT_EQ(p.HTTPlinks, Lines{"http://h/"});
  EXPECT_EQ(p.Locallinks, Lines{"local.html"});
  EXPECT_EQ(others, (Lines{"https://h/a.flv", "news://h/g"}));
  EXPECT_EQ(p.Media.Local, Lines{"https://h/a.flv"});
  EXPECT_EQ(p.Hyperlinks.size(), 6u);
}

TEST(HtmlLinkParser, TextRunsTagsAndComments) {
  HtmlLinkParser parser;
  Lines texts, tags, comments;
  std::vector<std::pair<std::size_t, std::size_t>> progress;
  parser.OnFoundText = [&](HtmlLinkParser&, const std::string& t) { texts.push_back(t); };
  parser.OnFoundTag = [&](HtmlLinkParser&, const std::string& t) { tags.push_back(t); };
  parser.OnFoundComment = [&](HtmlLinkParser&, const std::string& t) { comments.push_back(t); };
  parser.OnParsing = [&](HtmlLinkParser&, std::size_t n, std::size_t total) { progress.emplace_back(n, total); };
  parser.SetHTML({"one<b>two</b><!-- note --><!--tight-->", "after the last tag"});
  parser.Execute();
  // The run after the final tag is never reported.
  EXPECT_EQ(texts, (Lines{"one", "two"}));
  // "!--tight--" has no blank after "!--", so it is no comment, and neither
  // comment tag is reported as a tag.
  EXPECT_EQ(tags, (Lines{"b", "/b"}));
  EXPECT_EQ(comments, Lines{"note"});
  ASSERT_FALSE(progress.empty());
  const std::size_t total = std::string("one<b>two</b><!-- note --><!--tight-->\r\nafter the last tag\r\n").size();
  for (std::size_t i = 0; i < progress.size(); ++i) {
    EXPECT_EQ(progress[i].second, total);
    EXPECT_LT(progress[i].first, total);
    if (i > 0) {
      EXPECT_GT(progress[i].first, progress[i - 1].first);
    }
  }
  EXPECT_EQ(progress.front().first, 0u);
}

TEST(HtmlLinkParser, MalformedInputOnlyShortensResults) {
  struct Case {
    const char* what;
    Lines html;
    Lines hyperlinks;
  } cases[] = {
      {"empty", {}, {}},
      {"blank lines", {"", ""}, {}},
      {"unfinished tag", {"<a href=\"a.flv\">", "<a href=\"b.flv\""}, {"a.flv"}},
      {"unbalanced quote swallows the rest", {"<a title='it>s", "<a href=\"b.flv\">"}, {}},
      {"tag over two lines", {"<a", " href=\"c.flv\">"}, {}},
      {"attribute on the next line", {"<a title=x", "href=\"d.flv\">"}, {"d.flv"}},
      {"lone <", {"<"}, {}},
      {"lone >", {">"}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.html).Hyperlinks, c.hyperlinks) << c.what;
}

TEST(HtmlLinkParser, TitleImagesFramesAndMeta) {
  const TParsed p = Parse({
      "<html><head><title>My <b>page</b></title>",
      "<meta name=\"Keywords\" value=\"v1\" content=\"clips, video\">",
      "<meta name=\"DESCRIPTION\" value=\"only value\">",
      "<meta name=\"description\" content=\"\">",  // empty: keeps the earlier one
      "<img src=\"a.gif\"><IMG SRC=b.png alt=x><frame src=\"f.html\"><iframe src=\"i.html\">",
  });
  EXPECT_EQ(p.Title, "page</b>");  // the text step replaces, the tag step appends
  EXPECT_EQ(p.Keyword, "clips, video");
  EXPECT_EQ(p.Description, "only value");
  EXPECT_EQ(p.Images, (Lines{"a.gif", "b.png"}));
  EXPECT_EQ(p.FramePages, Lines{"f.html"});
}

TEST(HtmlLinkParser, LinkInsideTitleIsNotCollected) {
  const TParsed p = Parse({"<title>x <a href=\"in.flv\"></title><a href=\"out.flv\">"});
  EXPECT_EQ(p.Hyperlinks, Lines{"out.flv"});
}

TEST(HtmlLinkParser, OpenTitleCarriesIntoTheNextParse) {
  HtmlLinkParser parser;
  parser.SetHTML({"<title>never closed"});
  parser.Execute();
  EXPECT_TRUE(parser.TitleOpen());

  parser.SetHTML({"<a href=\"a.flv\"></title><a href=\"b.flv\">"});
  parser.Execute();
  EXPECT_EQ(parser.Parsed().Hyperlinks, Lines{"b.flv"});
  EXPECT_FALSE(parser.TitleOpen());
  // The text after the last tag of the first page was never reported, so
  // the title holds only what the second page added before its "/title".
  EXPECT_EQ(parser.Parsed().Title, "<a href=\"a.flv\">");
}

TEST(HtmlLinkParser, ExecuteClearsTheResultsOfTheLastParse) {
  HtmlLinkParser parser;
  parser.SetHTML({"<title>t</title><a href=\"mailto:x@y\"><img src=i.gif><meta name=keywords content=k>"});
  parser.Execute();
  parser.SetHTML({"<p>"});
  parser.Execute();
  const TParsed& p = parser.Parsed();
  EXPECT_TRUE(p.Title.empty() && p.Keyword.empty() && p.Hyperlinks.empty() && p.EMails.empty() &&
              p.Images.empty() && p.Locallinks.empty());
}

TEST(HtmlLinkParser, HandlerThatAssignsHtmlDuringExecute) {
  HtmlLinkParser parser;
  parser.OnFoundTag = [&](HtmlLinkParser& sender, const std::string&) { sender.SetHTML({"<a href=\"next.flv\">"}); };
  parser.SetHTML({"<p>", "<a href=\"first.flv\">"});
  parser.Execute();  // the page being parsed stays intact under the handler
  EXPECT_EQ(parser.Parsed().Hyperlinks, Lines{"first.flv"});
  EXPECT_EQ(parser.HTML(), Lines{"<a href=\"next.flv\">"});

  parser.OnFoundTag = nullptr;
  parser.Execute();
  EXPECT_EQ(parser.Parsed().Hyperlinks, Lines{"next.flv"});
  EXPECT_EQ(parser.HTML(), Lines{"<a href=\"next.flv\">"});  // kept for the next run
}

TEST(HtmlLinkParser, FixturePageInDocumentOrder) {
  const TParsed p = Parse(ReadFixture("media_page.html"));
  const Lines expected = {"clip.flv",
                          "http://cdn.example.com/Movies/a.MPG?x=1",
                          "/v/b.flv",
                          "../c.flv",
                          "sub/d.mpeg4",
                          "CLIP.FLV",
                          "clip.flv",
                          "HTTP://CDN.EXAMPLE.COM/MOVIES/A.MPG?X=1",
                          "page2.html",
                          "",
                          "ftp://files.example.com/e.flv",
                          "mailto:someone@example.com?subject=f.flv",
                          "javascript:play('g.flv')",
                          "",
                          "",
                          "song.mp3?download=1",
                          "https://secure.example.com/j.flv",
                          "clips/a,b.flv"};
  EXPECT_EQ(p.Hyperlinks, expected);
  EXPECT_EQ(p.Keyword, "clips, video");
}

}  // namespace
}  // namespace scan
