// The download manager: hand-out to slots, the allowed extensions, pause,
// stop and remove, all against the scriptable test server.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "download/HttpClientManager.h"
#include "platform/EventLoop.h"
#include "support/RecordingObserver.h"
#include "support/Sandbox.h"
#include "support/TestHttpServer.h"

using namespace download;
using testsupport::Reply;

namespace {

class DownloadManagerTest : public testsupport::SandboxedTest {
 protected:
  void SetUp() override {
    options.OutputDir = sandbox.Path();
    server.SetHandler([this](const testsupport::RecordedRequest& r) {
      ++served;
      const std::string body = "body of " + r.requestLine;
      Reply reply = Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n");
      if (slowMs > 0) reply.Delay(slowMs);
      return reply.Send(body);
    });
  }
  std::unique_ptr<THttpClientManager> MakeManager(int slots, std::vector<std::string> extensions = {".flv"}) {
    return std::make_unique<THttpClientManager>(*loop, slots, observer, extensions, options);
  }
  std::string Entry(const std::string& name) { return name + "," + server.Url("/" + name); }
  int Active(THttpClientManager& m) {
    int n = 0;
    for (int i = 0; i < m.SlotCount(); ++i) n += m.Client(i).State() != TClientState::Idle;
    return n;
  }
  std::string SiteFolder() const { return sandbox.Path() + "127.0.0.1_" + std::to_string(server.Port()) + "/"; }

  std::unique_ptr<platform::EventLoop> loop = platform::CreatePollEventLoop();
  testsupport::RecordingObserver observer{*loop, false};
  settings::TApplicationOptions options;
  testsupport::TestHttpServer server;
  std::atomic<int> served{0};
  std::atomic<int> slowMs{0};
};

TEST_F(DownloadManagerTest, ThreeSlotsTakeTenEntriesThreeAtATime) {
  slowMs = 100;
  auto m = MakeManager(3);
  for (int i = 0; i < 10; ++i) m->Add(Entry("clip" + std::to_string(i) + ".flv"));
  EXPECT_EQ(observer.With("added").size(), 10u);
  m->Start();
  m->OnDispatchTimer();  // one pass
  EXPECT_EQ(observer.With("started").size(), 3u);
  EXPECT_EQ(m->PendingEntries().size(), 7u);
  EXPECT_EQ(Active(*m), 3);
  int mostActive = 0;
  ASSERT_TRUE(loop->RunUntil(
      [&] {
        mostActive = std::max(mostActive, Active(*m));
        return observer.finished == 10;
      },
      10000));
  EXPECT_EQ(mostActive, 3);
  EXPECT_TRUE(m->IsIdle());
  for (int i = 0; i < 10; ++i) {
    const std::string name = "clip" + std::to_string(i) + ".flv";
    EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + name), "body of GET /" + name + " HTTP/1.0");
  }
  // Entries go out oldest first: the first pass took the first three.
  const auto requests = server.Requests();
  std::vector<std::string> firstThree;
  for (std::size_t i = 0; i < 3; ++i) firstThree.push_back(requests.at(i).requestLine);
  std::sort(firstThree.begin(), firstThree.end());
  EXPECT_EQ(firstThree, (std::vector<std::string>{"GET /clip0.flv HTTP/1.0", "GET /clip1.flv HTTP/1.0",
                                                  "GET /clip2.flv HTTP/1.0"}));
}

TEST_F(DownloadManagerTest, NotificationOrderOfOneTransfer) {
  auto m = MakeManager(1);
  m->Add(Entry("one.flv"));
  m->Start();
  ASSERT_TRUE(loop->RunUntil([&] { return observer.finished == 1; }, 5000));
  loop->RunUntil([] { return false; }, 50);  // nothing more comes
  EXPECT_EQ(observer.Folded(),
            (std::vector<std::string>{"added " + Entry("one.flv"), "pass", "started 0", "folder", "status 0 Connected",
                                      "status 0 Transferring", "data 0", "status 0 Finished"}));
}

TEST_F(DownloadManagerTest, ExtensionsDecideWhatIsDownloaded) {
  auto m = MakeManager(2, {".flv", ".MPG"});
  m->Add(Entry("page.html"));      // not allowed: dropped
  m->Add(Entry("LOUD.FLV"));       // case does not matter
  m->Add(Entry("movie.mpg"));
  m->Add(Entry("clip.flv?session=7"));  // the query is not part of the extension
  m->Add("get.php?file=a.flv," + server.Url("/get.php?file=a.flv"));  // named in the query: as before
  m->Add("Title,http://127.0.0.1:" + std::to_string(server.Port()) + "/get_video?v=1&www.youtube.com");
  m->Add(Entry("later.mkv"));
  m->Start();
  ASSERT_TRUE(loop->RunUntil([&] { return m->IsIdle() && m->PendingEntries().empty(); }, 5000));
  EXPECT_EQ(observer.With("dropped").size(), 2u);  // page.html and later.mkv
  EXPECT_EQ(observer.finished, 5);
  EXPECT_TRUE(testsupport::Sandbox::Exists(SiteFolder() + "LOUD.FLV"));
  EXPECT_TRUE(testsupport::Sandbox::Exists(SiteFolder() + "clip.flv"));
  EXPECT_TRUE(testsupport::Sandbox::Exists(SiteFolder() + "Title.flv"));
  EXPECT_TRUE(testsupport::Sandbox::Exists(SiteFolder() + "get.php"));
  EXPECT_FALSE(testsupport::Sandbox::Exists(SiteFolder() + "page.html"));

  // Added without a restart; a removed one would stay allowed.
  m->AddExtensions({".mkv"});
  m->Add(Entry("later.mkv"));
  ASSERT_TRUE(loop->RunUntil([&] { return observer.finished == 6; }, 5000));
  EXPECT_TRUE(testsupport::Sandbox::Exists(SiteFolder() + "later.mkv"));
}

TEST_F(DownloadManagerTest, PauseLetsTransfersFinishAndStartsNothingNew) {
  slowMs = 150;
  auto m = MakeManager(2);
  for (int i = 0; i < 4; ++i) m->Add(Entry("p" + std::to_string(i) + ".flv"));
  m->Start();
  ASSERT_TRUE(loop->RunUntil([&] { return Active(*m) == 2; }, 5000));
  m->Pause();
  ASSERT_TRUE(loop->RunUntil([&] { return observer.finished == 2; }, 5000));
  loop->RunUntil([] { return false; }, 100);
  EXPECT_EQ(observer.With("started").size(), 2u);
  EXPECT_EQ(m->PendingEntries().size(), 2u);
  m->Resume();
  ASSERT_TRUE(loop->RunUntil([&] { return observer.finished == 4; }, 5000));
}

TEST_F(DownloadManagerTest, StopFailsEverySlotAndKeepsTheQueue) {
  server.SetHandler([](const testsupport::RecordedRequest&) {
    return Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nstart").Stall();
  });
  auto m = MakeManager(3);
  for (int i = 0; i < 5; ++i) m->Add(Entry("s" + std::to_string(i) + ".flv"));
  m->Start();
  ASSERT_TRUE(loop->RunUntil([&] { return observer.With("progress").size() >= 3; }, 5000));
  m->Stop();
  EXPECT_FALSE(m->IsRunning());
  EXPECT_EQ(observer.failed, 3);
  EXPECT_EQ(m->PendingEntries().size(), 2u);
  loop->RunUntil([] { return false; }, 100);
  EXPECT_EQ(observer.failed, 3);  // no second report from the aborted requests
  EXPECT_EQ(observer.With("started").size(), 3u);

  // Idle slots report Failed too.
  auto idle = MakeManager(2);
  const int before = observer.failed;
  idle->Stop();
  EXPECT_EQ(observer.failed - before, 2);
}

TEST_F(DownloadManagerTest, RemoveTakesHighestPositionFirst) {
  auto m = MakeManager(1);
  for (int i = 0; i < 6; ++i) m->Add(Entry("r" + std::to_string(i) + ".flv"));
  m->Remove({"4", "1"});
  EXPECT_EQ(observer.With("removed"), (std::vector<std::string>{"removed 4", "removed 1"}));
  const auto& pending = m->PendingEntries();
  ASSERT_EQ(pending.size(), 4u);
  EXPECT_EQ(pending[0], Entry("r0.flv"));
  EXPECT_EQ(pending[1], Entry("r2.flv"));
  EXPECT_EQ(pending[2], Entry("r3.flv"));
  EXPECT_EQ(pending[3], Entry("r5.flv"));
  m->Remove({"9", "-1", "x"});  // outside the queue: nothing happens
  EXPECT_EQ(m->PendingEntries().size(), 4u);
}

TEST_F(DownloadManagerTest, AnIdleSlotIsRefilledWithoutWaitingForTheTick) {
  // A tick that never comes within the test: after the first pass, every
  // hand-out must come from the slot becoming idle.
  auto m = std::make_unique<THttpClientManager>(*loop, 1, observer, std::vector<std::string>{".flv"}, options,
                                                TClientTimeouts{}, 3600 * 1000);
  for (int i = 0; i < 20; ++i) m->Add(Entry("q" + std::to_string(i) + ".flv"));
  m->Start();
  m->OnDispatchTimer();
  ASSERT_TRUE(loop->RunUntil([&] { return observer.finished == 20; }, 10000));
  EXPECT_EQ(observer.With("started").size(), 20u);
}

}  // namespace
