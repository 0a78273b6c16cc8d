// The download client against the scriptable test server: where files go,
// the duplicate policies, time-outs, aborts, and the end of every transfer
// being reported exactly once and truthfully.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "download/HttpClient.h"
#include "platform/EventLoop.h"
#include "support/RecordingObserver.h"
#include "support/Sandbox.h"
#include "support/TestHttpServer.h"

using namespace download;
using testsupport::Reply;

namespace {

class Reporter final : public TDownloadReporter {
 public:
  explicit Reporter(TDownloadObserver& observer) : observer_(observer) {}
  void NotifyError(std::string_view text) override { observer_.OnDownloadError(text); }
  void NotifyFolderCreated() override { observer_.OnFolderCreated(); }
  void ClientBecameIdle(THttpClient&) override { ++idles; }
  int idles = 0;

 private:
  TDownloadObserver& observer_;
};

class DownloadClientTest : public testsupport::SandboxedTest {
 protected:
  std::unique_ptr<THttpClient> MakeClient(TDuplicatePolicy policy = TDuplicatePolicy::RenameNewFile,
                                          int stallMs = 30000) {
    return std::make_unique<THttpClient>(*loop, 0, sandbox.Path(), observer, reporter,
                                         static_cast<std::uint8_t>(policy), true, 10, TClientTimeouts{stallMs});
  }
  // Starts `entry` and runs the loop until its end is reported.
  void Download(THttpClient& client, const std::string& entry, int limitMs = 5000) {
    const int before = observer.finished + observer.failed;
    client.SetState(TClientState::Assigned);
    client.StartDownload(entry);
    ASSERT_TRUE(loop->RunUntil([&] { return observer.finished + observer.failed > before; }, limitMs));
    // Anything still posted by the transport must not report a second end.
    loop->RunUntil([] { return false; }, 30);
  }
  std::string SiteFolder() const { return sandbox.Path() + "127.0.0.1_" + std::to_string(server.Port()) + "/"; }
  static Reply Ok(const std::string& body) {
    return Reply::Response("HTTP/1.0 200 OK", {"Content-Length: " + std::to_string(body.size())}, body);
  }

  std::unique_ptr<platform::EventLoop> loop = platform::CreatePollEventLoop();
  testsupport::RecordingObserver observer{*loop};
  Reporter reporter{observer};
  testsupport::TestHttpServer server;
};

TEST_F(DownloadClientTest, WritesTempFileUnderSiteFolderAndRenamesItAtTheEnd) {
  const std::string body(100000, 'v');
  // Half the body, then a pause in which the ".$$$" file can be seen.
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + body.substr(0, 50000))
                      .Delay(300)
                      .Send(body.substr(50000)));
  auto client = MakeClient();
  client->SetState(TClientState::Assigned);
  ASSERT_TRUE(client->StartDownload("clip.flv," + server.Url("/media/clip.flv")));
  ASSERT_TRUE(loop->RunUntil([&] { return client->State() == TClientState::Transferring; }, 5000));
  EXPECT_TRUE(testsupport::Sandbox::Exists(SiteFolder() + "clip.$$$"));
  EXPECT_FALSE(testsupport::Sandbox::Exists(SiteFolder() + "clip.flv"));
  ASSERT_TRUE(loop->RunUntil([&] { return observer.finished == 1; }, 5000));
  EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "clip.flv"), body);
  EXPECT_FALSE(testsupport::Sandbox::Exists(SiteFolder() + "clip.$$$"));
  EXPECT_EQ(server.Requests().at(0).requestLine, "GET /media/clip.flv HTTP/1.0");
  EXPECT_EQ(observer.With("folder").size(), 1u);  // the site folder was new
  EXPECT_EQ(client->State(), TClientState::Idle);
}

TEST_F(DownloadClientTest, QueryIsCutFromTheFileNameAndYouTubeTitleBecomesTheName) {
  server.AddReply(Ok("one"));
  server.AddReply(Ok("two"));
  server.AddReply(Ok("three"));
  auto client = MakeClient();
  Download(*client, "clip.flv?x=1," + server.Url("/clip.flv?x=1&y=2"));
  EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "clip.flv"), "one");
  Download(*client, "My: video," + server.Url("/get_video?video_id=v1&from=www.youtube.com"));
  EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "My_ video.flv"), "two");
  EXPECT_EQ(server.Requests().at(1).requestLine, "GET /get_video?video_id=v1&from=www.youtube.com HTTP/1.0");
  // Fewer than three slashes before the last character: no site folder, and
  // no file name either.
  Download(*client, "root," + server.Url("/"));
  EXPECT_EQ(testsupport::Sandbox::ReadFile(sandbox.Path() + "index.html"), "three");
  EXPECT_EQ(observer.finished, 3);
}

TEST_F(DownloadClientTest, DuplicatePolicies) {
  const std::string entry = "clip.flv," + server.Url("/clip.flv");
  sandbox.WriteFile("127.0.0.1_" + std::to_string(server.Port()) + "/clip.flv", "old");

  {  // Rename New File: the old file stays, the new one gets a number.
    server.AddReply(Ok("new"));
    auto client = MakeClient(TDuplicatePolicy::RenameNewFile);
    Download(*client, entry);
    EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "clip.flv"), "old");
    int renamed = 0;
    for (const auto& e : std::filesystem::directory_iterator(SiteFolder())) {
      const std::string name = e.path().filename().string();
      if (name.rfind("clip_", 0) == 0 && name.size() > 9 && name.substr(name.size() - 4) == ".flv") {
        ++renamed;
        EXPECT_EQ(testsupport::Sandbox::ReadFile(e.path().string()), "new");
      }
    }
    EXPECT_EQ(renamed, 1);
  }
  {  // An existing ".$$$" alone also leads to a new name.
    sandbox.WriteFile("127.0.0.1_" + std::to_string(server.Port()) + "/other.$$$", "partial");
    server.AddReply(Ok("fresh"));
    auto client = MakeClient(TDuplicatePolicy::RenameNewFile);
    Download(*client, "other.avi," + server.Url("/other.avi"));
    EXPECT_FALSE(testsupport::Sandbox::Exists(SiteFolder() + "other.avi"));
    EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "other.$$$"), "partial");
  }
  {  // Don't Download: a warning and Failed, nothing written, no request.
    const auto requests = server.RequestCount();
    auto client = MakeClient(TDuplicatePolicy::DontDownload);
    Download(*client, entry);
    EXPECT_EQ(observer.errors.back(), "Warning: File exist, option set to not download the file if it already exists.");
    EXPECT_EQ(observer.lines.back(), "status 0 Failed");
    EXPECT_EQ(server.RequestCount(), requests);
    EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "clip.flv"), "old");
  }
  {  // Don't Download without an existing file downloads normally.
    server.AddReply(Ok("first"));
    auto client = MakeClient(TDuplicatePolicy::DontDownload);
    Download(*client, "first.mpg," + server.Url("/first.mpg"));
    EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "first.mpg"), "first");
  }
  {  // Overwrite Existing File replaces it.
    server.AddReply(Ok("replaced"));
    auto client = MakeClient(TDuplicatePolicy::OverwriteExistingFile);
    Download(*client, entry);
    EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "clip.flv"), "replaced");
  }
}

TEST_F(DownloadClientTest, StallAfterHeaderOrAfterDataIsTimedOut) {
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n").Stall());
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc").Stall());
  auto client = MakeClient(TDuplicatePolicy::RenameNewFile, 150);
  Download(*client, "a.flv," + server.Url("/a.flv"));
  EXPECT_EQ(observer.lines.back(), "status 0 Failed");
  Download(*client, "b.flv," + server.Url("/b.flv"));
  EXPECT_EQ(observer.lines.back(), "status 0 Failed");
  EXPECT_EQ(observer.finished, 0);
  EXPECT_EQ(observer.failed, 2);
  // A failed transfer keeps its ".$$$" and never gets the target's name.
  EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "b.$$$"), "abc");
  EXPECT_FALSE(testsupport::Sandbox::Exists(SiteFolder() + "b.flv"));
}

TEST_F(DownloadClientTest, AbortWhileTheBodyArrivesReportsOneFailed) {
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nsome").Stall());
  server.AddReply(Ok("after"));
  auto client = MakeClient();
  client->SetState(TClientState::Assigned);
  client->StartDownload("c.flv," + server.Url("/c.flv"));
  ASSERT_TRUE(loop->RunUntil([&] { return !observer.With("progress").empty(); }, 5000));
  client->AbortDownload();
  loop->RunUntil([] { return false; }, 50);
  EXPECT_EQ(observer.failed, 1);
  EXPECT_EQ(client->State(), TClientState::Idle);
  // The slot is usable at once for the next transfer.
  Download(*client, "d.flv," + server.Url("/d.flv"));
  EXPECT_EQ(observer.finished, 1);
  EXPECT_EQ(observer.failed, 1);
  EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "d.flv"), "after");
}

TEST_F(DownloadClientTest, FailuresAreNeverReportedAsSuccess) {
  struct Case {
    const char* name;
    Reply reply;
    std::string errorPrefix;
  };
  std::vector<Case> cases = {
      {"http-404", Reply::Response("HTTP/1.0 404 Not Found", {"Content-Length: 9"}, "not found"),
       "Error: HTTP 404 Not Found - "},
      {"short-body", Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 50\r\n\r\nonly twenty bytes...").Close(),
       "Error: Incomplete download - "},
      {"chunks-cut-off", Reply::Bytes("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n").Close(),
       "Error: Incomplete download - "},
      // A connection reset: not "Error: OK", the reason phrase of the header.
      {"reset-in-body", Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 50\r\n\r\nsome").Delay(50).Reset(),
       "Error: Incomplete download - "},
  };
  auto client = MakeClient();
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.AddReply(c.reply);
    const std::string file = std::string(c.name) + ".flv";
    observer.errors.clear();
    Download(*client, file + "," + server.Url("/" + file));
    EXPECT_EQ(observer.lines.back(), "status 0 Failed");
    ASSERT_EQ(observer.errors.size(), 1u);
    EXPECT_EQ(observer.errors[0], c.errorPrefix + server.Url("/" + file));
    EXPECT_FALSE(testsupport::Sandbox::Exists(SiteFolder() + file));
  }
  EXPECT_EQ(observer.finished, 0);
}

TEST_F(DownloadClientTest, FailedRenameIsFailed) {
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nda").Delay(200).Send("ta"));
  auto client = MakeClient(TDuplicatePolicy::OverwriteExistingFile);
  client->SetState(TClientState::Assigned);
  ASSERT_TRUE(client->StartDownload("busy.flv," + server.Url("/busy.flv")));
  ASSERT_TRUE(loop->RunUntil([&] { return client->State() == TClientState::Transferring; }, 5000));
  // The final name is taken by a folder while the body arrives, so the
  // rename at the end cannot succeed.
  std::filesystem::create_directories(SiteFolder() + "busy.flv/inside");
  ASSERT_TRUE(loop->RunUntil([&] { return observer.finished + observer.failed == 1; }, 5000));
  EXPECT_EQ(observer.lines.back(), "status 0 Failed");
  EXPECT_EQ(observer.errors, std::vector<std::string>{"Error: Unable to rename " + SiteFolder() + "busy.$$$ to " +
                                                      SiteFolder() + "busy.flv"});
  EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "busy.$$$"), "data");
}

TEST_F(DownloadClientTest, TwoSlotsNeverWriteOneTemporaryFile) {
  // clip.flv and clip.mpg both arrive as clip.$$$. The second slot must not
  // delete or truncate the file the first is still writing.
  const std::string flv(60000, 'f'), mpg(3000, 'm');
  server.SetHandler([&](const testsupport::RecordedRequest& r) {
    if (r.requestLine == "GET /clip.flv HTTP/1.0")
      return Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 60000\r\n\r\n" + flv.substr(0, 100))
          .Delay(300)
          .Send(flv.substr(100));
    return Ok(mpg);
  });
  struct Case {
    TDuplicatePolicy policy;
    std::string error;  // of the second slot; none: it takes a numbered name
  };
  const std::string temp = SiteFolder() + "clip.$$$";
  const Case cases[] = {
      {TDuplicatePolicy::OverwriteExistingFile,
       "Error: OVERWRITE_FILE, initial delete failed. File in use or no longer exists"},
      {TDuplicatePolicy::DontDownload, "Error: Unable to create output file: " + temp},
      {TDuplicatePolicy::RenameNewFile, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.policy));
    std::filesystem::remove_all(SiteFolder());
    observer.errors.clear();
    observer.finished = observer.failed = 0;
    auto first = MakeClient(c.policy);
    THttpClient second(*loop, 1, sandbox.Path(), observer, reporter, static_cast<std::uint8_t>(c.policy), false, 0);
    first->SetState(TClientState::Assigned);
    first->StartDownload("clip.flv," + server.Url("/clip.flv"));
    ASSERT_TRUE(loop->RunUntil([&] { return first->State() == TClientState::Transferring; }, 5000));
    second.SetState(TClientState::Assigned);
    second.StartDownload("clip.mpg," + server.Url("/clip.mpg"));
    ASSERT_TRUE(loop->RunUntil([&] { return observer.finished + observer.failed == 2; }, 5000));
    EXPECT_TRUE(testsupport::Sandbox::ReadFile(SiteFolder() + "clip.flv") == flv);
    if (c.error.empty()) {
      EXPECT_EQ(observer.finished, 2);
      const std::string numbered = ChangePathExtension(second.TempPath(), ".mpg");
      EXPECT_EQ(testsupport::Sandbox::ReadFile(numbered), mpg);
    } else {
      EXPECT_EQ(observer.finished, 1);
      EXPECT_EQ(observer.errors, std::vector<std::string>{c.error});
      EXPECT_FALSE(testsupport::Sandbox::Exists(SiteFolder() + "clip.mpg"));
    }
  }
}

TEST_F(DownloadClientTest, ADiskThatRefusesTheDataFailsTheTransfer) {
  // The temporary file's name leads to a device on which every write fails
  // as on a full disk.
  ASSERT_TRUE(testsupport::Sandbox::Exists("/dev/full"));
  std::filesystem::create_directories(SiteFolder());
  std::filesystem::create_symlink("/dev/full", SiteFolder() + "full.$$$");
  server.AddReply(Ok("never stored"));
  auto client = MakeClient(TDuplicatePolicy::DontDownload);
  Download(*client, "full.flv," + server.Url("/full.flv"));
  EXPECT_EQ(observer.errors,
            std::vector<std::string>{"Error: Unable to write output file: " + SiteFolder() + "full.$$$"});
  EXPECT_EQ(observer.lines.back(), "status 0 Failed");
  EXPECT_EQ(observer.finished, 0);
  EXPECT_FALSE(testsupport::Sandbox::Exists(SiteFolder() + "full.flv"));
}

TEST_F(DownloadClientTest, RelocationLeavesOnlyTheFinalDocumentAndOneFinished) {
  server.AddReply(Reply::Response("HTTP/1.0 302 Found", {"Location: /real.flv", "Content-Length: 16"},
                                  "moved, see there"));
  server.AddReply(Ok("the real clip"));
  auto client = MakeClient();
  Download(*client, "link.flv," + server.Url("/link.flv"));
  EXPECT_EQ(testsupport::Sandbox::ReadFile(SiteFolder() + "link.flv"), "the real clip");
  EXPECT_EQ(observer.finished, 1);
  EXPECT_EQ(observer.failed, 0);
  EXPECT_EQ(observer.With("status 0 Transferring").size(), 1u);
  EXPECT_EQ(server.Requests().at(1).requestLine, "GET /real.flv HTTP/1.0");
}

TEST_F(DownloadClientTest, NotificationOrderOfOneTransfer) {
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\n").Delay(20).Send("abc").Delay(20).Send("def"));
  auto client = MakeClient();
  Download(*client, "o.flv," + server.Url("/o.flv"));
  EXPECT_EQ(observer.Folded(), (std::vector<std::string>{"folder", "status 0 Connected", "status 0 Transferring",
                                                          "data 0", "status 0 Finished"}));
  EXPECT_EQ(observer.With("progress").back(), "progress 0 100% of 0.00 MB");
  EXPECT_EQ(reporter.idles, 1);
}

TEST_F(DownloadClientTest, PreparationFailuresComeBeforeFailed) {
  // The output folder holds a file where the site folder should be.
  sandbox.WriteFile("127.0.0.1_" + std::to_string(server.Port()), "in the way");
  auto client = MakeClient();
  Download(*client, "x.flv," + server.Url("/x.flv"));
  ASSERT_EQ(observer.errors.size(), 1u);
  EXPECT_EQ(observer.errors[0].rfind("Error: ", 0), 0u);
  EXPECT_EQ(observer.lines.back(), "status 0 Failed");
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(DownloadClientTest, RefusedConnectionFailsWithALogLine) {
  int closedPort;
  {
    testsupport::TestHttpServer gone;
    closedPort = gone.Port();
  }
  auto client = MakeClient();
  Download(*client, "y.flv,http://127.0.0.1:" + std::to_string(closedPort) + "/y.flv");
  EXPECT_EQ(observer.With("status 0 Connected").size(), 1u);
  EXPECT_EQ(observer.lines.back(), "status 0 Failed");
  ASSERT_EQ(observer.errors.size(), 1u);
  EXPECT_NE(observer.errors[0].find("10061"), std::string::npos) << observer.errors[0];
}

}  // namespace
