// Feeds arbitrary bytes to the HTML link parser as the lines of a page, with
// every event assigned, and to the routines the scanner runs on what the
// parser finds: attribute lookup, link completion, the YouTube extraction.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/HtmlLinkParser.h"
#include "scan/HtmlUtility.h"
#include "scan/LinkCompletion.h"
#include "scan/SiteFolder.h"
#include "scan/YouTubePageHandler.h"

namespace {
volatile unsigned g_sink = 0;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from <= text.size()) {
    const std::size_t nl = text.find('\n', from);
    if (nl == std::string_view::npos) {
      lines.emplace_back(text.substr(from));
      break;
    }
    lines.emplace_back(text.substr(from, nl - from));
    from = nl + 1;
  }

  scan::HtmlLinkParser parser;
  // Every event text is read to its end, so a bad one shows under ASan.
  auto read = [](scan::HtmlLinkParser&, const std::string& t) {
    for (char c : t) g_sink = g_sink + static_cast<unsigned char>(c);
  };
  parser.OnParsing = [](scan::HtmlLinkParser&, std::size_t n, std::size_t total) {
    if (n >= total) __builtin_trap();  // progress never reaches the end inside the loop
  };
  parser.OnFoundText = read;
  parser.OnFoundTag = read;
  parser.OnFoundComment = read;
  parser.OnFoundHyperlink = read;
  parser.SetHTML(lines);
  parser.Execute();
  parser.Execute();  // a second run starts from the title state the first left

  for (const std::string& link : parser.Parsed().Hyperlinks) {
    (void)scan::CompleteLink("http://host/dir/page.html", link);
    (void)scan::CompleteLink(link, "../../x.flv");
    (void)scan::SiteFolderName(link);
  }

  // The utility routines on the raw input as a tag.
  (void)scan::TagName(text);
  (void)scan::AttributeValue(scan::FindAttribute(text, "href"));
  (void)scan::SplitUrl(text);

  (void)scan::BuildYouTubeEntry(text);
  (void)scan::CutKeyedField(text, "\"t\":");
  return 0;
}
