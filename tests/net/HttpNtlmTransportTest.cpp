// NTLM through the transport against a scripted server that checks the
// client's type-3 answer, for the server (401) and the proxy (407), and a
// challenge that cannot be read safely, which ends the exchange.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/Base64.h"
#include "net/HttpTransport.h"
#include "platform/EventLoop.h"
#include "support/NtlmCheck.h"
#include "support/TestHttpServer.h"

using namespace net;
using testsupport::RecordedRequest;
using testsupport::Reply;
using testsupport::TestHttpServer;

namespace {

const NtlmChallengeBytes kChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};

// A server that speaks NTLM on `authHeader` (Authorization or
// Proxy-Authorization) and challenges with `challengeHeader`, refusing with
// `status`.
Reply NtlmServer(const RecordedRequest& r, const std::string& authHeader, const std::string& challengeHeader,
                 const std::string& status, const std::string& password, const std::string& type2Value,
                 std::vector<std::string>& verdicts) {
  const std::string auth = r.Header(authHeader);
  if (auth.empty())
    return Reply::Response(status, {challengeHeader + ": NTLM", challengeHeader + ": Basic realm=\"x\"", "Content-Length: 6"}, "denied")
        .KeepAlive();
  if (testsupport::IsNtlmType1(auth))
    return Reply::Response(status, {challengeHeader + ": " + type2Value, "Connection: keep-alive", "Content-Length: 6"}, "step 2")
        .KeepAlive();
  testsupport::NtlmCheckResult check = testsupport::CheckNtlmType3(auth, password, kChallenge, "alice");
  verdicts.push_back(check.accepted ? "accepted" : "refused: " + check.reason);
  if (check.accepted) return Reply::Response("HTTP/1.0 200 OK", {"Content-Length: 7"}, "welcome");
  return Reply::Response(status, {challengeHeader + ": NTLM", "Content-Length: 6"}, "denied");
}

class HttpNtlmTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop = platform::CreatePollEventLoop();
    http = std::make_unique<THttpTransport>(*loop);
    http->RcvdStream = &body;
    http->OnRequestDone = [this](THttpTransport&, THttpRequestKind, std::uint16_t e) {
      doneError = e;
      ++done;
    };
  }
  void Fetch() {
    http->StartGet();
    ASSERT_TRUE(loop->RunUntil([&] { return done > 0; }, 5000));
  }
  std::vector<std::string> Verdicts() {
    std::lock_guard lock(mutex);
    return verdicts;
  }

  TestHttpServer server;
  std::unique_ptr<platform::EventLoop> loop;
  std::unique_ptr<THttpTransport> http;
  TMemoryStream body;
  int done = 0;
  int doneError = -1;
  std::mutex mutex;
  std::vector<std::string> verdicts;
};

TEST_F(HttpNtlmTransportTest, ServerAcceptsTheTypeThreeAnswerOnTheSameConnection) {
  const std::string type2 = testsupport::NtlmType2Value(kChallenge);
  server.SetHandler([&](const RecordedRequest& r) {
    std::lock_guard lock(mutex);
    return NtlmServer(r, "Authorization", "WWW-Authenticate", "HTTP/1.0 401 Unauthorized", "SecREt01", type2, verdicts);
  });
  http->URL = server.Url("/protected");
  http->Username = "alice";
  http->Password = "SecREt01";
  Fetch();
  EXPECT_EQ(http->StatusCode(), 200);
  EXPECT_EQ(doneError, 0);
  EXPECT_EQ(body.Text(), "welcome") << "refused bodies are cut off";
  EXPECT_EQ(Verdicts(), (std::vector<std::string>{"accepted"}));
  EXPECT_EQ(http->AuthNTLMState(), THttpNTLMState::ntlmDone);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_FALSE(requests[0].HasHeader("Authorization"));
  EXPECT_TRUE(testsupport::IsNtlmType1(requests[1].Header("Authorization")));
  EXPECT_EQ(requests[1].Header("Connection"), "Keep-alive");
  EXPECT_EQ(requests[2].connection, requests[1].connection) << "type 1 and type 3 share a connection";
}

TEST_F(HttpNtlmTransportTest, WrongPasswordIsRefusedAndTheExchangeEnds) {
  const std::string type2 = testsupport::NtlmType2Value(kChallenge);
  server.SetHandler([&](const RecordedRequest& r) {
    std::lock_guard lock(mutex);
    return NtlmServer(r, "Authorization", "WWW-Authenticate", "HTTP/1.0 401 Unauthorized", "SecREt01", type2, verdicts);
  });
  http->URL = server.Url("/protected");
  http->Username = "alice";
  http->Password = "not it";
  Fetch();
  EXPECT_EQ(http->StatusCode(), 401);
  ASSERT_EQ(Verdicts().size(), 1u);
  EXPECT_NE(Verdicts()[0], "accepted");
  EXPECT_EQ(server.RequestCount(), 3u);
}

TEST_F(HttpNtlmTransportTest, UnreadableChallengeGetsNoTypeThreeStep) {
  // Shorter than the fixed part, and one whose target name lies outside it.
  std::vector<std::uint8_t> outside(40, 0);
  const char sig[] = "NTLMSSP";
  std::copy(sig, sig + 8, outside.begin());
  outside[8] = 2;
  outside[12] = 0xff;  // target name: 255 bytes
  outside[16] = 0xf0;  // at offset 240
  for (const std::string& type2 : {std::string("NTLM ") + Base64Encode(std::string("NTLMSSP\0\2\0\0\0", 12)),
                                   "NTLM " + Base64Encode(std::span<const std::uint8_t>(outside))}) {
    done = 0;
    const std::size_t before = server.RequestCount();
    server.SetHandler([&, type2](const RecordedRequest& r) {
      std::lock_guard lock(mutex);
      return NtlmServer(r, "Authorization", "WWW-Authenticate", "HTTP/1.0 401 Unauthorized", "SecREt01", type2, verdicts);
    });
    http->URL = server.Url("/protected");
    http->Username = "alice";
    http->Password = "SecREt01";
    Fetch();
    EXPECT_EQ(http->StatusCode(), 401);
    EXPECT_EQ(server.RequestCount() - before, 2u) << "no type-3 request follows";
  }
  EXPECT_TRUE(Verdicts().empty());
}

TEST_F(HttpNtlmTransportTest, ProxyNtlmIsAnsweredWithProxyAuthorization) {
  const std::string type2 = testsupport::NtlmType2Value(kChallenge);
  server.SetHandler([&](const RecordedRequest& r) {
    std::lock_guard lock(mutex);
    return NtlmServer(r, "Proxy-Authorization", "Proxy-Authenticate", "HTTP/1.0 407 Proxy Authentication Required",
                      "SecREt01", type2, verdicts);
  });
  http->Proxy = "127.0.0.1";
  http->ProxyPort = std::to_string(server.Port());
  http->ProxyUsername = "alice";
  http->ProxyPassword = "SecREt01";
  http->URL = "http://behind.proxy.test/file.flv";
  Fetch();
  EXPECT_EQ(http->StatusCode(), 200);
  EXPECT_EQ(Verdicts(), (std::vector<std::string>{"accepted"}));
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].requestLine, "GET http://behind.proxy.test/file.flv HTTP/1.0");
  EXPECT_EQ(requests[1].Header("Proxy-Connection"), "Keep-alive");
  EXPECT_FALSE(requests[1].HasHeader("Authorization"));
  EXPECT_EQ(http->ProxyAuthNTLMState(), THttpNTLMState::ntlmDone);
}

}  // namespace
