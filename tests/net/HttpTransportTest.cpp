// THttpTransport against the scriptable test server on 127.0.0.1: the request
// bytes, event order, bodies of every kind in every split, relocations and
// their counting, connection reuse, Basic authentication, abort and failures.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "net/HttpTransport.h"
#include "platform/EventLoop.h"
#include "support/TestHttpServer.h"

using namespace net;
using testsupport::Reply;
using testsupport::TestHttpServer;

namespace {

const char* kAgent = "Mozilla/5.0 (Windows; U; Windows NT 5.0; en-US; rv:1.8.1) Gecko/20061010 Firefox/2.0";
const char* kAccept = "text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,image/png,*/*";

class HttpTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop = platform::CreatePollEventLoop();
    http = std::make_unique<THttpTransport>(*loop);
    // As the download client sets it up.
    http->Agent = kAgent;
    http->Accept = kAccept;
    http->AcceptLanguage = "en-us,en";
    http->RcvdStream = &body;
    http->OnSessionConnected = [this](THttpTransport&, std::uint16_t e) { Log("connected(" + std::to_string(e) + ")"); };
    http->OnHeaderBegin = [this](THttpTransport&) { Log("headerBegin"); };
    http->OnHeaderEnd = [this](THttpTransport&) { Log("headerEnd"); };
    http->OnDocBegin = [this](THttpTransport&) { Log("docBegin"); };
    http->OnDocData = [this](THttpTransport&, const char* p, std::size_t n) {
      if (events.empty() || events.back() != "docData") Log("docData");
      delivered.append(p, n);
    };
    http->OnDocEnd = [this](THttpTransport&) { Log("docEnd"); };
    http->OnSessionClosed = [this](THttpTransport&, std::uint16_t e) { Log("closed(" + std::to_string(e) + ")"); };
    http->OnLocationChange = [this](THttpTransport& h) { Log("location(" + h.Location() + ")"); };
    http->OnRequestDone = [this](THttpTransport&, THttpRequestKind, std::uint16_t e) {
      Log("done(" + std::to_string(e) + ")");
      ++doneCount;
    };
  }
  void Log(const std::string& e) { events.push_back(e); }
  bool Has(const std::string& e) const {
    for (const auto& x : events)
      if (x == e) return true;
    return false;
  }
  // Starts a GET of `path` on the server and runs until OnRequestDone.
  void Get(const std::string& path, int limitMs = 5000) {
    http->URL = server.Url(path);
    Fetch(limitMs);
  }
  void Fetch(int limitMs = 5000) {
    const int before = doneCount;
    http->StartGet();
    ASSERT_TRUE(loop->RunUntil([&] { return doneCount > before; }, limitMs)) << Joined();
  }
  std::string Joined() const {
    std::string s;
    for (const auto& e : events) s += e + " ";
    return s;
  }
  void Reset() {
    events.clear();
    delivered.clear();
    body.SetSize(0);
  }

  TestHttpServer server;
  std::unique_ptr<platform::EventLoop> loop;
  std::unique_ptr<THttpTransport> http;
  TMemoryStream body;
  std::vector<std::string> events;
  std::string delivered;
  int doneCount = 0;
};

TEST_F(HttpTransportTest, PlainGetSendsTheHeaderLinesInOrderAndFiresEventsInOrder) {
  server.AddReply(Reply::Response("HTTP/1.0 200 OK", {"Content-Type: video/x-flv", "Content-Length: 11"}, "hello world"));
  std::vector<std::string> headerLines;
  http->OnHeaderData = [&](THttpTransport& h) { headerLines.push_back(h.LastResponse()); };
  Get("/media/clip.flv");
  EXPECT_EQ(events, (std::vector<std::string>{"connected(0)", "headerBegin", "headerEnd", "docBegin", "docData",
                                              "docEnd", "closed(0)", "done(0)"}));
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].raw, "GET /media/clip.flv HTTP/1.0\r\n"
                                      "Accept: " + std::string(kAccept) + "\r\n"
                                      "Accept-Language: en-us,en\r\n"
                                      "User-Agent: " + std::string(kAgent) + "\r\n"
                                      "Host: " + server.HostPort() + "\r\n"
                                      "\r\n");
  EXPECT_EQ(body.Text(), "hello world");
  EXPECT_EQ(delivered, "hello world");
  EXPECT_EQ(http->StatusCode(), 200);
  EXPECT_EQ(http->ReasonPhrase(), "OK");
  EXPECT_EQ(http->ContentLength(), 11);
  EXPECT_EQ(http->ContentType(), "video/x-flv");
  EXPECT_EQ(http->DocName(), "clip.flv");
  EXPECT_EQ(headerLines, (std::vector<std::string>{"HTTP/1.0 200 OK", "Content-Type: video/x-flv", "Content-Length: 11"}));
  EXPECT_EQ(http->State(), THttpState::hsReady);
}

TEST_F(HttpTransportTest, HostNameIsLookedUpBeforeConnecting) {
  std::vector<THttpState> states;
  http->OnStateChange = [&](THttpTransport& h) { states.push_back(h.State()); };
  server.AddReply(Reply::Response("HTTP/1.0 200 OK", {"Content-Length: 4"}, "name"));
  http->URL = "http://localhost:" + std::to_string(server.Port()) + "/by-name";
  Fetch();
  EXPECT_EQ(body.Text(), "name");
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].Header("Host"), "localhost:" + std::to_string(server.Port()));
  using S = THttpState;
  EXPECT_EQ(states, (std::vector<S>{S::hsNotConnected, S::hsDnsLookup, S::hsDnsLookupDone, S::hsConnected,
                                    S::hsWaitingHeader, S::hsWaitingBody, S::hsBodyReceived, S::hsReady}));
}

TEST_F(HttpTransportTest, ThroughAProxyTheRequestLineCarriesTheAbsoluteUrlAndHostItsPort) {
  // The test server stands in for the proxy: the target's name is never looked up.
  http->Proxy = "127.0.0.1";
  http->ProxyPort = std::to_string(server.Port());
  const struct {
    const char* url;
    const char* requestLine;
    const char* host;
  } cases[] = {
      {"http://media.example.test", "GET http://media.example.test/ HTTP/1.0", "media.example.test"},
      {"http://media.example.test:80/a?b=1", "GET http://media.example.test:80/a?b=1 HTTP/1.0", "media.example.test"},
      {"http://media.example.test:8080/z", "GET http://media.example.test:8080/z HTTP/1.0", "media.example.test:8080"},
  };
  for (const auto& c : cases) {
    server.AddReply(Reply::Response("HTTP/1.0 200 OK", {"Content-Length: 2"}, "ok"));
    http->URL = c.url;
    Fetch();
  }
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(requests[i].requestLine, cases[i].requestLine);
    EXPECT_EQ(requests[i].Header("Host"), cases[i].host);
  }
  EXPECT_EQ(http->Hostname(), "media.example.test");
}

TEST_F(HttpTransportTest, BodiesOfEveryKindArriveWholeInEverySplit) {
  const std::string big(70000, 'b');
  const struct {
    const char* name;
    std::string response;
    std::string body;
    int doneError;
    int status;
  } cases[] = {
      {"length", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhelloIGNORED", "hello", 0, 200},
      {"big length", "HTTP/1.0 200 OK\r\nContent-Length: 70000\r\n\r\n" + big, big, 0, 200},
      {"by close", "HTTP/1.0 200 OK\r\n\r\nuntil the end", "until the end", 0, 200},
      {"invalid length", "HTTP/1.0 200 OK\r\nContent-Length: twelve\r\n\r\nends at close", "ends at close", 0, 200},
      {"negative length", "HTTP/1.0 200 OK\r\nContent-Length: -3\r\n\r\nends at close", "ends at close", 0, 200},
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;ext=1\r\nhello\r\n7\r\n, world\r\n0\r\nTrailer: x\r\n\r\n",
       "hello, world", 0, 200},
      {"no header", "<html><body>page</body></html>\r\nline two\n", "<html><body>page</body></html>\r\nline two\n", 0, 0},
      {"no header, capitals", "<HTML>\nX", "<HTML>\nX", 0, 0},
      {"interim answer", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc", "abc", 0, 200},
      {"short of its length", "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly this", "only this", kHttpErrBodyIncomplete, 200},
      {"chunks cut off", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel", "hel", kHttpErrBodyIncomplete, 200},
      {"chunk size beyond 63 bits", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n10000000000000000\r\nxyz",
       "abc", kHttpErrBodyIncomplete, 200},
      {"error status keeps its body", "HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", "gone", 0, 404},
  };
  std::mt19937 rng(4242);
  for (const auto& c : cases) {
    for (int split = 0; split < 3; ++split) {
      Reset();
      Reply reply;
      if (split == 0) {
        reply.Send(c.response);
      } else if (split == 1) {
        if (c.response.size() > 2000) continue;  // byte by byte only for the small ones
        reply.SendInPieces(c.response, 1, 0);
      } else {
        std::vector<std::size_t> sizes;
        for (std::size_t at = 0; at < c.response.size();) {
          std::size_t n = std::uniform_int_distribution<std::size_t>(1, c.response.size() > 2000 ? 9000 : 30)(rng);
          sizes.push_back(n);
          at += n;
        }
        reply.SendSplit(c.response, sizes, 1);
      }
      reply.Close();
      server.AddReply(reply);
      Get("/doc");
      EXPECT_EQ(body.Text(), c.body) << c.name << " split " << split;
      EXPECT_EQ(delivered, c.body) << c.name << " split " << split;
      EXPECT_EQ(events.back(), "done(" + std::to_string(c.doneError) + ")") << c.name << " split " << split << ": " << Joined();
      EXPECT_EQ(http->StatusCode(), c.status) << c.name;
      int docEnds = 0;
      for (const auto& e : events) docEnds += e == "docEnd";
      EXPECT_EQ(docEnds, 1) << c.name << " split " << split;
    }
  }
}

TEST_F(HttpTransportTest, ReceiveStreamThatCannotTakeTheBodyEndsTheTransferAsFailed) {
  // /dev/full refuses every write as a full disk would.
  TFileStream full;
  ASSERT_TRUE(full.Create("/dev/full"));
  const struct {
    const char* name;
    std::string response;
  } cases[] = {
      {"length", "HTTP/1.0 200 OK\r\nContent-Length: 11\r\n\r\nhello world"},
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"},
      {"by close", "HTTP/1.0 200 OK\r\n\r\nuntil the end"},
  };
  for (const auto& c : cases) {
    Reset();
    http->RcvdStream = &full;
    server.AddReply(Reply::Bytes(c.response).Close());
    Get("/doc");
    EXPECT_EQ(events.back(), "done(" + std::to_string(kHttpErrBodyIncomplete) + ")") << c.name << ": " << Joined();
    int docEnds = 0;
    for (const auto& e : events) docEnds += e == "docEnd";
    EXPECT_EQ(docEnds, 1) << c.name;
  }
  // The same bodies into a stream that takes them still succeed.
  Reset();
  http->RcvdStream = &body;
  server.AddReply(Reply::Bytes(cases[0].response).Close());
  Get("/doc");
  EXPECT_EQ(events.back(), "done(0)");
  EXPECT_EQ(body.Text(), "hello world");
}

TEST_F(HttpTransportTest, HeaderThatNeverEndsIsRefusedInsteadOfGrowingWithoutBound) {
  std::string header = "HTTP/1.0 200 OK\r\n";
  const std::string line = "X-Filler: " + std::string(8000, 'f') + "\r\n";
  while (header.size() <= kMaxHeaderBytes + line.size()) header += line;
  server.AddReply(Reply::Bytes(header).Stall());
  Get("/endless");
  EXPECT_EQ(events.back(), "done(" + std::to_string(kHttpErrBodyIncomplete) + ")") << Joined();
  EXPECT_LE(http->RcvdHeader().size(), kMaxHeaderBytes / 8000 + 1);
}

TEST_F(HttpTransportTest, ResetInABodyDelimitedByTheCloseIsAFailureNotItsEnd) {
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Type: video/x-flv\r\n\r\nthe first part").Delay(20).Reset());
  Get("/clip.flv");
  EXPECT_EQ(events.back(), "done(10054)") << Joined();
  EXPECT_EQ(http->StatusCode(), 200);
}

TEST_F(HttpTransportTest, HeaderLineWithoutColonOnlyFiresHeaderData) {
  int headerData = 0;
  http->OnHeaderData = [&](THttpTransport&) { ++headerData; };
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nno colon here\r\nContent-Type: Text/HTML\r\nContent-Length: 2\r\n\r\nhi"));
  Get("/dir/");
  EXPECT_EQ(headerData, 4);
  EXPECT_EQ(http->RcvdHeader().at(1), "no colon here");
  EXPECT_EQ(http->ContentType(), "text/html");
  EXPECT_EQ(http->DocName(), "document.htm");
  EXPECT_EQ(body.Text(), "hi");
}

TEST_F(HttpTransportTest, RelocationWithoutBodyOnHttp10TakesANewConnectionAndCountsTwice) {
  server.AddReply(Reply::Response("HTTP/1.0 302 Found", {"Location: /x"}, ""));
  server.AddReply(Reply::Response("HTTP/1.0 200 OK", {"Content-Length: 4"}, "here"));
  Get("/start");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].requestLine, "GET /x HTTP/1.0");
  EXPECT_EQ(requests[1].connection, 2);
  EXPECT_EQ(http->LocationChangeCurCount(), 2);
  EXPECT_EQ(http->StatusCode(), 200);
  EXPECT_EQ(body.Text(), "here");
  EXPECT_TRUE(Has("location(" + server.Url("/x") + ")")) << Joined();
  EXPECT_EQ(http->URL, server.Url("/x"));
}

TEST_F(HttpTransportTest, RelocationBodyDoesNotStayInTheStreamAndFragmentsAreNotSent) {
  server.AddReply(Reply::Response("HTTP/1.0 301 Moved", {"Location: next.flv#part", "Content-Length: 5"}, "moved"));
  server.AddReply(Reply::Response("HTTP/1.0 200 OK", {"Content-Length: 5"}, "video"));
  Get("/dir/first.flv");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].requestLine, "GET /dir/next.flv HTTP/1.0");
  EXPECT_EQ(body.Text(), "video");
}

TEST_F(HttpTransportTest, RelocationCountLimitEndsWithTheRelocationStatus) {
  server.SetHandler([&](const testsupport::RecordedRequest& r) {
    return Reply::Response("HTTP/1.0 302 Found", {"Location: /hop" + std::to_string(r.connection)}, "");
  });
  Get("/hop0");
  // 2 per relocation on a new connection: 2, 4, then 5 and 6 > 5 ends it.
  EXPECT_EQ(server.RequestCount(), 3u);
  EXPECT_EQ(http->StatusCode(), 302);
  EXPECT_EQ(http->LocationChangeCurCount(), 6);
  EXPECT_EQ(events.back(), "done(0)");

  // The handler may allow more.
  Reset();
  int asked = 0;
  http->OnLocationChangeExceeded = [&](THttpTransport&, int count, bool& allow) {
    ++asked;
    allow = count <= 8;
  };
  const std::size_t before = server.RequestCount();
  Get("/hop0");
  // Relocations 3 and 4 go beyond the limit and are allowed; the fifth (count 9) is not.
  EXPECT_EQ(server.RequestCount() - before, 5u);
  EXPECT_GE(asked, 2);
}

TEST_F(HttpTransportTest, Http11ConnectionIsReusedForTheNextRequest) {
  http->RequestVer = "1.1";
  server.AddReply(Reply::Response("HTTP/1.1 200 OK", {"Content-Length: 3"}, "one").KeepAlive());
  server.AddReply(Reply::Response("HTTP/1.1 200 OK", {"Content-Length: 3"}, "two").KeepAlive());
  Get("/1");
  EXPECT_FALSE(http->CloseAfterResponse());
  EXPECT_FALSE(Has("closed(0)"));
  Reset();
  Get("/2");
  EXPECT_EQ(events.front(), "headerBegin") << "no new connection: " << Joined();
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].requestLine, "GET /1 HTTP/1.1");
  EXPECT_EQ(requests[1].connection, 1);
  EXPECT_EQ(requests[1].indexOnConnection, 2);
  EXPECT_EQ(body.Text(), "two");
  EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST_F(HttpTransportTest, BasicChallengeIsAnsweredOnceAndTheRefusedBodyIsCutOff) {
  http->Username = "user";
  http->Password = "pass";
  server.SetHandler([](const testsupport::RecordedRequest& r) {
    if (r.Header("Authorization") == "Basic dXNlcjpwYXNz")
      return Reply::Response("HTTP/1.0 200 OK", {"Content-Length: 6"}, "secret");
    return Reply::Response("HTTP/1.0 401 Unauthorized", {"WWW-Authenticate: Basic realm=\"v\"", "Content-Length: 6"}, "denied");
  });
  Get("/private");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(requests[0].HasHeader("Authorization"));
  EXPECT_EQ(requests[1].Header("Authorization"), "Basic dXNlcjpwYXNz");
  EXPECT_EQ(http->StatusCode(), 200);
  EXPECT_EQ(body.Text(), "secret");
  EXPECT_EQ(http->AuthBasicState(), THttpBasicState::basicDone);

  // Wrong credentials: answered once, then the refusal stands.
  Reset();
  http->Password = "wrong";
  Get("/private");
  EXPECT_EQ(server.RequestCount(), 4u);
  EXPECT_EQ(http->StatusCode(), 401);
  EXPECT_EQ(events.back(), "done(0)");
}

TEST_F(HttpTransportTest, AbortDuringTheBodyFiresDocEndBeforeAbortReturns) {
  server.AddReply(Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nfirst part").Stall());
  http->OnDocData = [&](THttpTransport& h, const char*, std::size_t) {
    Log("docData");
    Log("abort");
    h.AbortRequest();
    Log("aborted");
  };
  http->URL = server.Url("/stall");
  http->StartGet();
  ASSERT_TRUE(loop->RunUntil([&] { return doneCount > 0; }, 5000)) << Joined();
  EXPECT_EQ(events, (std::vector<std::string>{"connected(0)", "headerBegin", "headerEnd", "docBegin", "docData", "abort",
                                              "docEnd", "closed(0)", "aborted", "done(3)"}));
  EXPECT_EQ(http->StatusCode(), 404);
  EXPECT_EQ(http->ReasonPhrase(), "Connection aborted on request");
  EXPECT_EQ(http->State(), THttpState::hsReady);
  // The server sees the connection go.
  ASSERT_TRUE(loop->RunUntil([&] { return server.ClosedConnectionCount() == 1; }, 5000));

  // From outside, while the server stalls before any header.
  Reset();
  server.AddReply(Reply().Stall());
  http->OnDocData = nullptr;
  http->StartGet();
  ASSERT_TRUE(loop->RunUntil([&] { return server.RequestCount() == 2; }, 5000));
  http->AbortRequest();
  EXPECT_FALSE(http->Busy());
  ASSERT_TRUE(loop->RunUntil([&] { return doneCount == 2; }, 5000));
  EXPECT_EQ(events.back(), "done(3)");
}

TEST_F(HttpTransportTest, FailuresEndWithTheirStatusReasonAndError) {
  // Nothing listens there.
  std::string refused;
  {
    TestHttpServer gone;
    refused = gone.Url("/");
  }
  http->URL = refused;
  Fetch();
  EXPECT_EQ(http->StatusCode(), 404);
  EXPECT_EQ(http->ReasonPhrase(), "Connection refused (Error #10061)");
  EXPECT_EQ(events, (std::vector<std::string>{"connected(10061)", "closed(0)", "done(10061)"}));

  Reset();
  http->URL = "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/file";
  Fetch();
  EXPECT_EQ(http->StatusCode(), 501);
  EXPECT_EQ(http->ReasonPhrase(), "Protocol \"ftp\" not implemented");

  Reset();
  http->URL = "http:///nohost";
  Fetch();
  EXPECT_EQ(http->StatusCode(), 404);
  EXPECT_EQ(http->ReasonPhrase(), "can't resolve hostname to IP address");
  EXPECT_EQ(events.back(), "done(10022)");

  // The server closes without answering.
  Reset();
  server.AddReply(Reply().Close());
  Get("/nothing");
  EXPECT_EQ(events.back(), "done(" + std::to_string(kHttpErrBodyIncomplete) + ")");

  // Misuse raises.
  server.AddReply(Reply().Stall());
  http->URL = server.Url("/busy");
  http->StartGet();
  try {
    http->StartGet();
    ADD_FAILURE() << "not busy";
  } catch (const EHttpException& e) {
    EXPECT_EQ(std::string(e.what()), "HTTP component HttpTransport is busy");
    EXPECT_EQ(e.ErrorCode(), 1);
  }
  http->AbortRequest();
  http->RequestVer = "2.0";
  try {
    http->StartGet();
    ADD_FAILURE() << "version accepted";
  } catch (const EHttpException& e) {
    EXPECT_EQ(std::string(e.what()), "Insupported HTTP version");
    EXPECT_EQ(e.ErrorCode(), 5);
  }
  http->RequestVer = "1.0";
  try {
    http->StartPost();
    ADD_FAILURE() << "nothing to post accepted";
  } catch (const EHttpException& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
  }
}

TEST_F(HttpTransportTest, WaitingGetReturnsTheDocumentOrRaisesTheErrorStatus) {
  server.AddReply(Reply::Response("HTTP/1.0 200 OK", {"Content-Length: 8"}, "manifest"));
  http->URL = server.Url("/Updates.xml");
  http->GetAndWait();
  EXPECT_EQ(body.Text(), "manifest");
  EXPECT_EQ(doneCount, 1);

  server.AddReply(Reply::Response("HTTP/1.0 404 Not Found", {"Content-Length: 0"}, ""));
  try {
    http->GetAndWait();
    ADD_FAILURE() << "no exception";
  } catch (const EHttpException& e) {
    EXPECT_EQ(std::string(e.what()), "Not Found");
    EXPECT_EQ(e.ErrorCode(), 404);
  }
}

TEST_F(HttpTransportTest, RequestPropertiesBecomeTheirHeaderLines) {
  http->RequestVer = "1.1";
  http->Sender = "me@example.test";
  http->Reference = "http://ref.example.test/";
  http->Connection = "Keep-Alive";
  http->NoCache = true;
  http->Cookie = "a=b";
  http->ContentRangeBegin = "100";
  http->ModifiedSince = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  std::vector<std::string> cookies;
  http->OnCookie = [&](THttpTransport&, const std::string& data, bool& accept) {
    cookies.push_back(data);
    EXPECT_TRUE(accept);
  };
  server.AddReply(Reply::Response("HTTP/1.1 206 Partial", {"Set-Cookie: id=7", "Content-Range: bytes 100-104/200",
                                                           "Accept-Ranges: bytes", "Connection: close", "Content-Length: 5"},
                                  "12345"));
  Get("/ranged");
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].raw, "GET /ranged HTTP/1.1\r\n"
                                      "From: me@example.test\r\n"
                                      "Accept: " + std::string(kAccept) + "\r\n"
                                      "Referer: http://ref.example.test/\r\n"
                                      "Connection: Keep-Alive\r\n"
                                      "Accept-Language: en-us,en\r\n"
                                      "User-Agent: " + std::string(kAgent) + "\r\n"
                                      "Host: " + server.HostPort() + "\r\n"
                                      "Pragma: no-cache\r\n"
                                      "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                                      "Cookie: a=b\r\n"
                                      "Range: bytes=100-\r\n"
                                      "\r\n");
  EXPECT_TRUE(http->ContentRangeBegin.empty());
  EXPECT_EQ(cookies, (std::vector<std::string>{"id=7"}));
  EXPECT_EQ(http->RcvdContentRangeBegin(), "100");
  EXPECT_EQ(http->RcvdContentRangeEnd(), "104");
  EXPECT_EQ(http->AcceptRanges(), "bytes");
  EXPECT_TRUE(http->CloseAfterResponse());
  EXPECT_TRUE(Has("closed(0)"));
}

}  // namespace
