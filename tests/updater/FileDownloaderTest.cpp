// The single-file downloader against the scriptable test server.
#include <gtest/gtest.h>

#include <filesystem>

#include "net/HttpException.h"
#include "platform/Dialogs.h"
#include "platform/EventLoop.h"
#include "support/Sandbox.h"
#include "support/TestHttpServer.h"
#include "updater/FileDownloader.h"

using testsupport::Reply;
using updater::TFileDownloader;

namespace {

class FileDownloaderTest : public testsupport::SandboxedTest {
 protected:
  std::unique_ptr<platform::EventLoop> loop = platform::CreatePollEventLoop();
  platform::RecordingDialogs dialogs;
  testsupport::TestHttpServer server;
  std::vector<std::pair<std::int64_t, std::int64_t>> calls;
  TFileDownloader::ProgressCallback Record() {
    return [this](std::int64_t expected, std::int64_t received) { calls.emplace_back(expected, received); };
  }
};

TEST_F(FileDownloaderTest, FollowsRelocationsAndReportsEveryFragment) {
  // Each relocation over a new connection counts twice against the limit of
  // five, so two hops are followed.
  for (int i = 1; i <= 2; ++i)
    server.AddReply(Reply::Response("HTTP/1.0 302 Found", {"Location: /hop" + std::to_string(i)}, ""));
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\n")
                      .Send("abc")  // may arrive with the header, in the tick the body begins
                      .Delay(30)
                      .Send("def")
                      .Delay(30)
                      .Send("ghi"));
  TFileDownloader d(*loop, dialogs, server.Url("/Updates.xml"), sandbox / "Updates.xml");
  EXPECT_TRUE(d.Download(Record()));
  EXPECT_EQ(testsupport::Sandbox::ReadFile(sandbox / "Updates.xml"), "abcdefghi");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], std::make_pair(std::int64_t{9}, std::int64_t{3}));
  EXPECT_EQ(calls[2], std::make_pair(std::int64_t{9}, std::int64_t{9}));
  EXPECT_EQ(server.Requests().back().requestLine, "GET /hop2 HTTP/1.0");
  EXPECT_EQ(server.Requests().front().Header("Host"), server.HostPort());
}

TEST_F(FileDownloaderTest, UnknownLengthIsReportedAsMinusOne) {
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\n\r\nuntil the close").Close());
  TFileDownloader d(*loop, dialogs, server.Url("/f"), sandbox / "f");
  EXPECT_TRUE(d.Download(Record()));
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().first, -1);
  EXPECT_EQ(calls.back().second, 15);
}

TEST_F(FileDownloaderTest, SilentServerIsAbandonedAndTheDownloadFails) {
  server.AddReply(Reply().Stall());
  TFileDownloader d(*loop, dialogs, server.Url("/slow"), sandbox / "slow", {100});
  try {
    d.Download(Record());
    FAIL() << "expected the waiting GET to raise";
  } catch (const net::EHttpException& e) {
    EXPECT_EQ(e.ErrorCode(), 404);
  }
}

TEST_F(FileDownloaderTest, ErrorStatusRaises) {
  server.AddReply(Reply::Response("HTTP/1.0 404 Not Found", {"Content-Length: 4"}, "gone"));
  TFileDownloader d(*loop, dialogs, server.Url("/missing"), sandbox / "missing", {50});
  EXPECT_THROW(d.Download(Record()), net::EHttpException);
  // The inactivity time-out went with the request: its tick would abort the
  // ended request and turn its status into 200.
  loop->RunUntil([] { return false; }, 150);
  EXPECT_EQ(d.Http().StatusCode(), 404);
}

TEST_F(FileDownloaderTest, RefusalsAndUnfollowedRelocationsAreNoDownload) {
  struct Case {
    const char* name;
    std::vector<Reply> replies;
  };
  std::vector<Reply> hops;
  for (int i = 1; i <= 7; ++i)
    hops.push_back(Reply::Response("HTTP/1.0 302 Found", {"Location: /hop" + std::to_string(i), "Content-Length: 5"},
                                   "moved"));
  const std::vector<Case> cases = {
      // The waiting GET does not raise for 401 and 407.
      {"401", {Reply::Response("HTTP/1.0 401 Unauthorized",
                               {"WWW-Authenticate: Basic realm=\"x\"", "Content-Length: 6"}, "denied")}},
      {"407", {Reply::Response("HTTP/1.0 407 Proxy Authentication Required", {"Content-Length: 6"}, "denied")}},
      {"too many relocations", hops},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const Reply& r : c.replies) server.AddReply(r);
    TFileDownloader d(*loop, dialogs, server.Url("/Updates.xml"), sandbox / "Updates.xml");
    EXPECT_FALSE(d.Download(Record()));
  }
}

TEST_F(FileDownloaderTest, ADiskThatRefusesTheDataFailsTheDownload) {
  // Every write to this device fails as on a full disk.
  ASSERT_TRUE(testsupport::Sandbox::Exists("/dev/full"));
  std::filesystem::create_symlink("/dev/full", sandbox / "Updates.xml");
  server.AddReply(Reply::Response("HTTP/1.0 200 OK", {"Content-Length: 9"}, "<updates>"));
  TFileDownloader d(*loop, dialogs, server.Url("/Updates.xml"), sandbox / "Updates.xml");
  bool succeeded = false;
  try {
    succeeded = d.Download(Record());
  } catch (const net::EHttpException&) {
  }
  EXPECT_FALSE(succeeded);
  EXPECT_TRUE(calls.empty());  // nothing was received into the file
}

TEST_F(FileDownloaderTest, LocalFileThatCannotBeCreatedFailsWithoutARequest) {
  TFileDownloader d(*loop, dialogs, server.Url("/x"), sandbox / "no/such/folder/x");
  EXPECT_EQ(dialogs.LastText(), "Unable to create local file.");
  EXPECT_FALSE(d.HasLocalFile());
  EXPECT_FALSE(d.Download(Record()));
  EXPECT_EQ(server.RequestCount(), 0u);
}

}  // namespace
