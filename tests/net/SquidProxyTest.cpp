// The transport through a real proxy: a private squid on a free loopback port
// that demands Basic authentication, in front of the test server. A GET with
// the proxy's user name and password goes through; one without is refused
// with 407. A missing squid fails the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "net/HttpTransport.h"
#include "platform/EventLoop.h"
#include "support/LoopbackPort.h"
#include "support/Sandbox.h"
#include "support/TestHttpServer.h"

using namespace net;
using testsupport::Reply;

namespace {

const std::string kScript =
    (std::filesystem::path(__FILE__).parent_path().parent_path() / "support" / "proxy" / "squid-proxy.sh").string();

class SquidProxyTest : public testsupport::SandboxedTest {
 protected:
  void SetUp() override {
    dir = sandbox.Path().substr(0, sandbox.Path().size() - 1);
    port = testsupport::FreeLoopbackPort();
    const std::string start = "bash '" + kScript + "' start '" + dir + "' " + std::to_string(port) + " velmora s3cret";
    ASSERT_EQ(std::system(start.c_str()), 0) << "squid did not start (is it installed?): " << start;
    started = true;
    loop = platform::CreatePollEventLoop();
    http = std::make_unique<THttpTransport>(*loop);
    http->RcvdStream = &body;
    http->Proxy = "127.0.0.1";
    http->ProxyPort = std::to_string(port);
    http->OnRequestDone = [this](THttpTransport&, THttpRequestKind, std::uint16_t e) {
      doneError = e;
      ++done;
    };
  }
  void TearDown() override {
    http.reset();
    if (started) std::system(("bash '" + kScript + "' stop '" + dir + "'").c_str());
  }
  void Fetch() {
    done = 0;
    body.SetSize(0);
    http->StartGet();
    ASSERT_TRUE(loop->RunUntil([&] { return done > 0; }, 15000));
  }

  std::string dir;
  int port = 0;
  bool started = false;
  testsupport::TestHttpServer origin;
  std::unique_ptr<platform::EventLoop> loop;
  std::unique_ptr<THttpTransport> http;
  TMemoryStream body;
  int done = 0;
  int doneError = -1;
};

TEST_F(SquidProxyTest, BasicProxyCredentialsGetThroughAndTheirAbsenceIsRefusedWith407) {
  origin.SetHandler([](const testsupport::RecordedRequest&) {
    return Reply::Response("HTTP/1.0 200 OK", {"Content-Type: video/x-flv", "Content-Length: 10"}, "clip bytes");
  });
  http->URL = origin.Url("/media/clip.flv");

  Fetch();
  EXPECT_EQ(http->StatusCode(), 407);
  EXPECT_EQ(origin.RequestCount(), 0u);
  ASSERT_FALSE(http->ProxyAuthInfos().empty());
  EXPECT_EQ(http->ProxyAuthInfos()[0].rfind("Basic", 0), 0u);

  http->ProxyUsername = "velmora";
  http->ProxyPassword = "s3cret";
  Fetch();
  EXPECT_EQ(http->StatusCode(), 200);
  EXPECT_EQ(doneError, 0);
  EXPECT_EQ(body.Text(), "clip bytes");
  ASSERT_EQ(origin.RequestCount(), 1u);
  EXPECT_EQ(origin.Requests()[0].requestLine.rfind("GET /media/clip.flv HTTP/1.", 0), 0u);
  EXPECT_EQ(http->ProxyAuthBasicState(), THttpBasicState::basicDone);

  http->ProxyPassword = "wrong";
  Fetch();
  EXPECT_EQ(http->StatusCode(), 407);
  EXPECT_EQ(origin.RequestCount(), 1u);
}

}  // namespace
