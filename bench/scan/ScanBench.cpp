// Times the HTML parser and the page scan on generated pages: a 10 MB page
// holding 100,000 links and a 1 MB page holding 10,000, with ten active
// extensions. Times are the best of several runs, in CPU time of the scanning
// thread. Prints one "name value" pair per line for run.sh.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ErrorLog.h"
#include "platform/EventLoop.h"
#include "scan/HtmlLinkParser.h"
#include "scan/PageScanner.h"
#include "settings/ApplicationOptions.h"

namespace {

constexpr const char* kActiveList = ".flv,.mpg,.mpeg,.avi,.wmv,.mp4,.mov,.mp3,.divx,.asf";
constexpr const char* kExtensions[] = {".flv", ".mpg", ".mpeg", ".avi", ".wmv", ".mp4", ".mov", ".mp3", ".divx",
                                       ".asf", ".html", ".jpg"};

// One line per link, about `bytes / links` bytes each: relative, rooted,
// parent and absolute links, most of them media.
std::vector<std::string> GeneratePage(std::size_t bytes, std::size_t links) {
  const std::size_t perLine = bytes / links;
  std::vector<std::string> lines;
  lines.reserve(links + 2);
  lines.emplace_back("<html><head><title>Generated clips</title></head><body>");
  for (std::size_t i = 0; i < links; ++i) {
    const std::string n = std::to_string(i);
    const std::string ext = kExtensions[i % 12];
    std::string link;
    switch (i % 4) {
      case 0: link = "clips/v" + n + ext; break;
      case 1: link = "/media/v" + n + ext; break;
      case 2: link = "http://cdn" + std::to_string(i % 7) + ".example.com/v/" + n + ext; break;
      default: link = "../up/v" + n + ext; break;
    }
    std::string line = "<div class=\"item\"><a href=\"" + link + "\" title=\"Clip " + n + "\">Clip " + n + "</a>";
    const std::string close = "</div>";
    if (line.size() + close.size() + 2 < perLine) line.append(perLine - line.size() - close.size() - 2, ' ');
    line += close;
    lines.push_back(std::move(line));
  }
  lines.emplace_back("</body></html>");
  return lines;
}

std::size_t PageBytes(const std::vector<std::string>& lines) {
  std::size_t total = 0;
  for (const std::string& line : lines) total += line.size() + 2;
  return total;
}

// Seconds of CPU time of this thread: the machine's other work does not count
// against the run (a long run is preempted more often than a short one, which
// would skew the 1 MB / 10 MB comparison on a busy machine).
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <typename F>
double BestSeconds(int runs, F&& run) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double start = ThreadSeconds();
    run();
    best = std::min(best, ThreadSeconds() - start);
  }
  return best;
}

struct Quiet : scan::AddressBox,
               scan::DownloadRequestSink,
               scan::DownloadPrompt,
               scan::DownloadFolderLister,
               scan::QueueHeader,
               scan::QuitState {
  std::string AddressText() const override { return "http://www.example.com/dir/page.html"; }
  void Add(std::string) override {}
  void ShowDownloadPrompt(std::vector<std::string>&) override {}
  void ListDownloadFolders() override {}
  void UpdateQueueHeader() override {}
  bool QuitRequested() const override { return false; }
};

// A scanner as the main window keeps one: it lives across scans, and each
// timed scan starts from an empty site queue (emptied untimed, as the tick
// empties it between two "Download!" presses).
class Scanning {
 public:
  Scanning(platform::EventLoop& loop, const std::vector<std::string>& page)
      : scanner_(loop, {program_, program_, log_, program_, program_, program_, program_}) {
    settings::TApplicationOptions options;
    options.ActiveList = kActiveList;
    scanner_.ApplySettings(options);
    scanner_.SetBrowserPage(page);
  }

  // Seconds of one ScanBrowserPage.
  double Run() {
    scanner_.GetSiteQueue().Clear();
    return BestSeconds(1, [&] { scanner_.ScanBrowserPage(); });
  }
  std::size_t Queued() const { return scanner_.GetSiteQueue().Count(); }

 private:
  Quiet program_;
  app::ErrorLog log_;
  scan::PageScanner scanner_;
};

}  // namespace

int main() {
  const std::vector<std::string> small = GeneratePage(1u << 20, 10'000);
  const std::vector<std::string> large = GeneratePage(10u << 20, 100'000);
  const double smallMb = PageBytes(small) / 1e6;
  const double largeMb = PageBytes(large) / 1e6;
  auto loop = platform::CreatePollEventLoop();

  // The two sizes take turns, so that a busy moment of the machine hits both
  // alike; the best run of each counts.
  scan::HtmlLinkParser smallParser, largeParser;
  smallParser.SetHTML(small);
  largeParser.SetHTML(large);
  Scanning smallScan(*loop, small), largeScan(*loop, large);
  double executeSmall = 1e30, executeLarge = 1e30, scanSmall = 1e30, scanLarge = 1e30;
  for (int round = 0; round < 11; ++round) {
    executeSmall = std::min(executeSmall, BestSeconds(3, [&] { smallParser.Execute(); }));
    executeLarge = std::min(executeLarge, BestSeconds(1, [&] { largeParser.Execute(); }));
    for (int i = 0; i < 3; ++i) scanSmall = std::min(scanSmall, smallScan.Run());
    scanLarge = std::min(scanLarge, largeScan.Run());
  }
  const std::size_t queuedSmall = smallScan.Queued(), queuedLarge = largeScan.Queued();
  const std::size_t largeLinks = largeParser.Parsed().Hyperlinks.size();

  std::printf("page_1mb_mb %.2f\n", smallMb);
  std::printf("page_10mb_mb %.2f\n", largeMb);
  std::printf("page_10mb_links %zu\n", largeLinks);
  std::printf("execute_1mb_mb_per_s %.1f\n", smallMb / executeSmall);
  std::printf("execute_10mb_mb_per_s %.1f\n", largeMb / executeLarge);
  std::printf("scan_1mb_ms %.2f\n", scanSmall * 1e3);
  std::printf("scan_10mb_ms %.2f\n", scanLarge * 1e3);
  std::printf("scan_1mb_queued %zu\n", queuedSmall);
  std::printf("scan_10mb_queued %zu\n", queuedLarge);
  return 0;
}
