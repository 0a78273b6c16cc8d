#include "scan/PageScanner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ErrorLog.h"
#include "scan/DownloadPromptList.h"
#include "scan/SiteFolder.h"
#include "settings/ApplicationOptions.h"
#include "support/Sandbox.h"

namespace scan {
namespace {

using Lines = std::vector<std::string>;

Lines ReadFixture(const std::string& name) {
  std::ifstream in(std::string(SCAN_FIXTURES) + name);
  Lines lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The rest of the program as the scanner meets it, recording every call.
class Program : public AddressBox,
                public DownloadRequestSink,
                public DownloadPrompt,
                public DownloadFolderLister,
                public QueueHeader,
                public QuitState {
 public:
  std::string AddressText() const override { return address; }
  void Add(std::string request) override {
    requests.push_back(request);
    if (onAdd) onAdd(request);
  }
  void ShowDownloadPrompt(Lines& entries) override {
    ++prompts;
    DownloadPromptList list(entries);
    shownRows = list.Rows();
    if (choose) choose(list);
    list.ApplyTo(entries);
  }
  void ListDownloadFolders() override { ++folderListings; }
  void UpdateQueueHeader() override { ++headerUpdates; }
  bool QuitRequested() const override { return quit; }

  std::string address;
  Lines requests;
  std::function<void(const std::string&)> onAdd;
  int prompts = 0;
  Lines shownRows;
  std::function<void(DownloadPromptList&)> choose;
  int folderListings = 0;
  int headerUpdates = 0;
  bool quit = false;
};

const char* const kPageAddress = "http://www.example.com/dir/page.html";

// The completed addresses of media_page.html at kPageAddress, in document
// order, once each.
const Lines kMediaPageQueue = {
    "http://www.example.com/dir/clip.flv",
    "http://cdn.example.com/Movies/a.MPG?x=1",
    "http://www.example.com/v/b.flv",
    "http://www.example.com/c.flv",
    "http://www.example.com/dir/sub/d.mpeg4",
    "http://www.example.com/dir/song.mp3?download=1",
    "https://secure.example.com/j.flv",
    "http://www.example.com/dir/clips/a,b.flv",
};

const Lines kMediaPageRequests = {
    "clip.flv,http://www.example.com/dir/clip.flv",
    "a.MPG?x=1,http://cdn.example.com/Movies/a.MPG?x=1",
    "b.flv,http://www.example.com/v/b.flv",
    "c.flv,http://www.example.com/c.flv",
    "d.mpeg4,http://www.example.com/dir/sub/d.mpeg4",
    "song.mp3?download=1,http://www.example.com/dir/song.mp3?download=1",
    "j.flv,https://secure.example.com/j.flv",
    "a_b.flv,http://www.example.com/dir/clips/a,b.flv",
};

class PageScannerTest : public testsupport::SandboxedTest {
 protected:
  void SetUp() override {
    options.OutputDir = sandbox.Path();
    options.ActiveList = ".flv,.mpeg,.mpg,.mp3";
    program.address = kPageAddress;
    Recreate(kSiteQueueIntervalMs);
  }

  void Recreate(int intervalMs) {
    scanner.reset();
    scanner = std::make_unique<PageScanner>(
        *loop, PageScannerLinks{program, program, log, program, program, program, program}, intervalMs);
    scanner->ApplySettings(options);
  }

  void Scan(const Lines& page) {
    scanner->SetBrowserPage(page);
    scanner->ScanBrowserPage();
  }

  const Lines& Queue() const { return scanner->GetSiteQueue().Entries(); }

  // The folders created under OutputDir.
  Lines Folders() const {
    Lines names;
    for (const auto& entry : std::filesystem::directory_iterator(sandbox.Path())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  std::unique_ptr<platform::EventLoop> loop = platform::CreatePollEventLoop();
  Program program;
  app::ErrorLog log;
  settings::TApplicationOptions options;
  std::unique_ptr<PageScanner> scanner;
};

TEST_F(PageScannerTest, ScanQueuesCompleteAddressesInDocumentOrderOnceEach) {
  Scan(ReadFixture("media_page.html"));
  EXPECT_EQ(Queue(), kMediaPageQueue);
  // The same page again adds nothing, relative links included.
  Scan(ReadFixture("media_page.html"));
  EXPECT_EQ(Queue(), kMediaPageQueue);
  EXPECT_EQ(program.requests, Lines{});  // only the tick hands over
}

TEST_F(PageScannerTest, TickHandsOverNameAndAddressAndPreparesTheSiteFolder) {
  Scan(ReadFixture("media_page.html"));
  scanner->SiteQueueTick();
  EXPECT_EQ(program.requests, kMediaPageRequests);
  EXPECT_TRUE(Queue().empty());
  EXPECT_EQ(Folders(), Lines{"www.example.com"});
  EXPECT_EQ(program.folderListings, 2);  // before, and after the folder was made
  EXPECT_EQ(program.headerUpdates, 1);
  EXPECT_EQ(program.prompts, 0);
  EXPECT_TRUE(log.Lines().empty());

  // An existing folder is not listed again; an empty queue does nothing.
  Scan({"<a href=\"more.flv\">"});
  scanner->SiteQueueTick();
  EXPECT_EQ(program.requests.back(), "more.flv,http://www.example.com/dir/more.flv");
  EXPECT_EQ(program.folderListings, 3);
  scanner->SiteQueueTick();
  EXPECT_EQ(program.folderListings, 3);
  EXPECT_EQ(program.headerUpdates, 2);
}

TEST_F(PageScannerTest, PromptOnlyWithLeechPrompt) {
  const Lines page = {"<a href=\"one.flv\"><a href=\"two.flv\"><a href=\"three.flv\">"};
  Scan(page);
  scanner->SiteQueueTick();
  EXPECT_EQ(program.prompts, 0);
  EXPECT_EQ(program.requests.size(), 3u);

  options.LeechPrompt = 1;
  scanner->ApplySettings(options);
  program.requests.clear();
  program.choose = [](DownloadPromptList& list) { list.SetChecked(1, false); };
  Scan(page);
  scanner->SiteQueueTick();
  EXPECT_EQ(program.prompts, 1);
  EXPECT_EQ(program.shownRows, (Lines{"http://www.example.com/dir/one.flv", "http://www.example.com/dir/two.flv",
                                      "http://www.example.com/dir/three.flv"}));
  EXPECT_EQ(program.requests, (Lines{"one.flv,http://www.example.com/dir/one.flv",
                                     "three.flv,http://www.example.com/dir/three.flv"}));
  EXPECT_TRUE(Queue().empty());

  // Unchecking every row hands nothing over and leaves the queue empty.
  program.requests.clear();
  program.choose = [](DownloadPromptList& list) { list.UnCheckAll(); };
  Scan(page);
  scanner->SiteQueueTick();
  EXPECT_EQ(program.requests, Lines{});
  EXPECT_TRUE(Queue().empty());
}

TEST_F(PageScannerTest, EntriesFoundDuringThePromptWaitForTheNextPrompt) {
  options.LeechPrompt = 1;
  scanner->ApplySettings(options);
  Scan({"<a href=\"one.flv\">"});
  program.choose = [&](DownloadPromptList&) { Scan({"<a href=\"late.flv\">"}); };
  scanner->SiteQueueTick();
  EXPECT_EQ(program.requests, Lines{"one.flv,http://www.example.com/dir/one.flv"});
  EXPECT_EQ(Queue(), Lines{"http://www.example.com/dir/late.flv"});

  program.choose = nullptr;
  scanner->SiteQueueTick();
  EXPECT_EQ(program.shownRows, Lines{"http://www.example.com/dir/late.flv"});
  EXPECT_EQ(program.requests.back(), "late.flv,http://www.example.com/dir/late.flv");
}

TEST_F(PageScannerTest, YouTubeVideoPageGivesOneEntryHandedOverUnchanged) {
  program.address = "http://www.youtube.com/watch?v=abc123";
  Scan(ReadFixture("youtube_watch.html"));
  Scan(ReadFixture("youtube_watch.html"));
  const std::string entry =
      "My Clip Part_1_ the & best,http://www.youtube.com/get_video?video_id=abc123&l=213&t=OEgsToPDskJ&x&sk=Sk_Key-1";
  EXPECT_EQ(Queue(), Lines{entry});  // the page's own link is not examined
  scanner->SiteQueueTick();
  EXPECT_EQ(program.requests, Lines{entry});
  EXPECT_EQ(Folders(), Lines{"www.youtube.com"});
}

TEST_F(PageScannerTest, YouTubeNeedsBothTheAddressAndSwfargs) {
  struct Case {
    const char* address;
    Lines page;
    Lines queued;
  } cases[] = {
      {"http://www.youtube.com/browse", {"<a href=\"x.flv\">"}, {"http://www.youtube.com/x.flv"}},
      {"http://www.example.com/", {"var swfArgs = {\"video_id\": \"v\"};", "<a href=\"x.flv\">"},
       {"http://www.example.com/x.flv"}},
  };
  for (const Case& c : cases) {
    Recreate(kSiteQueueIntervalMs);
    program.address = c.address;
    Scan(c.page);
    EXPECT_EQ(Queue(), c.queued) << c.address;
  }
  // A link to the site from an ordinary page gets a name like any other.
  scanner->GetSiteQueue().Clear();
  program.address = kPageAddress;
  Scan({"<a href=\"http://www.youtube.com/v/x.flv\">"});
  scanner->SiteQueueTick();
  EXPECT_EQ(program.requests.back(), "x.flv,http://www.youtube.com/v/x.flv");
}

TEST_F(PageScannerTest, SiteFolderOfTheAddressAtTickTime) {
  struct Case {
    std::string address;
    Lines folders;
  } cases[] = {
      {"http://localhost:8080/dir/page.html", {"localhost_8080"}},
      {"HTTPS://Secure.Example.com/", {"Secure.Example.com"}},
      // No host, or none that is safe: no folder, no log line.
      {"about:blank", {}},
      {"http://../x.html", {}},
      {"http://./", {}},
      {"http:///x", {}},
  };
  for (const Case& c : cases) {
    testsupport::Sandbox out;
    options.OutputDir = out.Path();
    scanner->ApplySettings(options);
    program.address = kPageAddress;
    program.requests.clear();
    Scan({"<a href=\"http://cdn.example.com/a.flv\">"});
    program.address = c.address;  // the browser moved on before the tick
    scanner->SiteQueueTick();
    Lines made;
    for (const auto& entry : std::filesystem::directory_iterator(out.Path())) {
      made.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(made, c.folders) << c.address;
    EXPECT_EQ(program.requests, Lines{"a.flv,http://cdn.example.com/a.flv"}) << c.address;
    EXPECT_TRUE(log.Lines().empty()) << c.address;
  }
  // Nothing was made beside the output folders either.
  EXPECT_EQ(Folders(), Lines{});
}

TEST_F(PageScannerTest, FolderThatCannotBeCreatedIsLoggedAndEntriesStillGo) {
  options.OutputDir = sandbox.Path() + "missing/";
  scanner->ApplySettings(options);
  Scan({"<a href=\"a.flv\">"});
  scanner->SiteQueueTick();
  EXPECT_EQ(log.Lines(), std::deque<std::string>{
                             "Error: Unable to create destination folder. You may be running low on disk space."});
  EXPECT_EQ(program.requests, Lines{"a.flv,http://www.example.com/dir/a.flv"});
  EXPECT_EQ(program.folderListings, 1);
}

TEST_F(PageScannerTest, NothingQueuedForBlankPagesOrWithoutActiveExtensions) {
  Scan({});
  Scan({"  ", "\t"});
  EXPECT_TRUE(Queue().empty());

  options.ActiveList = "";
  Recreate(kSiteQueueIntervalMs);  // a blank ActiveList at creation
  EXPECT_TRUE(scanner->ActiveExtensions().empty());
  Scan({"<a href=\"a.flv\">"});
  EXPECT_TRUE(Queue().empty());
  scanner->SiteQueueTick();
  EXPECT_EQ(program.folderListings, 0);
  EXPECT_EQ(program.headerUpdates, 0);
}

TEST_F(PageScannerTest, ScanDuringTheTickWaitsForTheNextTick) {
  Scan({"<a href=\"one.flv\"><a href=\"two.flv\">"});
  program.onAdd = [&](const std::string&) {
    program.onAdd = nullptr;
    loop->PostTask([&] { Scan({"<a href=\"two.flv\"><a href=\"three.flv\">"}); });
  };
  scanner->SiteQueueTick();
  // two.flv was still queued when the nested scan ran, so it is not doubled.
  EXPECT_EQ(program.requests, (Lines{"one.flv,http://www.example.com/dir/one.flv",
                                     "two.flv,http://www.example.com/dir/two.flv"}));
  EXPECT_EQ(Queue(), Lines{"http://www.example.com/dir/three.flv"});
  scanner->SiteQueueTick();
  EXPECT_EQ(program.requests.back(), "three.flv,http://www.example.com/dir/three.flv");
}

TEST_F(PageScannerTest, TimerRunsTheTickAndStopHolds) {
  Recreate(5);
  Scan({"<a href=\"one.flv\"><a href=\"two.flv\">"});
  scanner->SetSiteQueueTimerEnabled(true);
  ASSERT_TRUE(loop->RunUntil([&] { return program.requests.size() == 2; }, 5000));
  EXPECT_TRUE(scanner->SiteQueueTimerRunning());

  // "Stop Downloader" pressed while a tick hands over: the tick does not
  // switch the timer on again.
  Scan({"<a href=\"three.flv\"><a href=\"four.flv\">"});
  program.onAdd = [&](const std::string&) { scanner->SetSiteQueueTimerEnabled(false); };
  ASSERT_TRUE(loop->RunUntil([&] { return program.requests.size() == 4; }, 5000));
  EXPECT_FALSE(scanner->SiteQueueTimerRunning());
  EXPECT_FALSE(scanner->SiteQueueTimerEnabled());
}

TEST_F(PageScannerTest, QuitStopsTheHandOverAndTheTimer) {
  Scan({"<a href=\"one.flv\"><a href=\"two.flv\">"});
  scanner->SetSiteQueueTimerEnabled(true);
  program.onAdd = [&](const std::string&) { program.quit = true; };
  scanner->SiteQueueTick();
  EXPECT_EQ(program.requests, Lines{"one.flv,http://www.example.com/dir/one.flv"});
  EXPECT_EQ(Queue(), Lines{"http://www.example.com/dir/two.flv"});
  EXPECT_FALSE(scanner->SiteQueueTimerRunning());

  const int listings = program.folderListings;
  scanner->SiteQueueTick();  // with QuitRequested set the tick does nothing
  EXPECT_EQ(program.requests.size(), 1u);
  EXPECT_EQ(program.folderListings, listings);
  EXPECT_FALSE(scanner->SiteQueueTimerRunning());
}

TEST_F(PageScannerTest, ScannerDestroyedInsideItsTick) {
  Scan({"<a href=\"one.flv\"><a href=\"two.flv\">"});
  program.onAdd = [&](const std::string&) { loop->PostTask([&] { scanner.reset(); }); };
  scanner->SiteQueueTick();
  EXPECT_EQ(scanner, nullptr);
  EXPECT_EQ(program.requests.size(), 1u);
}

}  // namespace
}  // namespace scan
