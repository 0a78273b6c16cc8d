// The socket layer on real loopback sockets: event order, the send chain,
// closing once per connection, stale and paused notifications, the property
// guards, name lookup, and the Winsock texts.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "net/SocketException.h"
#include "platform/EventLoop.h"
#include "platform/WinsockErrors.h"
#include "support/LoopbackPort.h"

using namespace net;

namespace {

// A listening socket on 127.0.0.1 driven from the test thread (non-blocking),
// so the client's loop and the peer take turns without threads.
class LoopbackPeer {
 public:
  LoopbackPeer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_, 8);
    socklen_t len = sizeof a;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~LoopbackPeer() {
    if (conn_ >= 0) ::close(conn_);
    ::close(listen_);
  }
  std::string Port() const { return std::to_string(port_); }
  bool TryAccept() {
    if (conn_ >= 0) return true;
    conn_ = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    return conn_ >= 0;
  }
  void Send(const std::string& bytes) { ASSERT_EQ(::send(conn_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }
  // Everything waiting, without blocking.
  std::string Drain() {
    std::string all;
    char buf[65536];
    for (;;) {
      ssize_t n = ::recv(conn_, buf, sizeof buf, 0);
      if (n <= 0) break;
      all.append(buf, static_cast<std::size_t>(n));
    }
    return all;
  }
  void CloseGently() {
    ::close(conn_);
    conn_ = -1;
  }
  void Reset() {
    linger l{1, 0};
    setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(conn_);
    conn_ = -1;
  }

 private:
  int listen_ = -1;
  int conn_ = -1;
  std::uint16_t port_ = 0;
};

// A port on 127.0.0.1 where nothing listens.
std::string RefusingPort() { return std::to_string(testsupport::FreeLoopbackPort()); }

class SocketLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loop = platform::CreatePollEventLoop();
    socket = std::make_unique<TAsyncSocket>(*loop);
    socket->OnSessionConnected = [this](TSocketBase&, std::uint16_t e) { Log("connected(" + std::to_string(e) + ")"); };
    socket->OnSessionClosed = [this](TSocketBase&, std::uint16_t e) { Log("closed(" + std::to_string(e) + ")"); };
    socket->OnDataSent = [this](TSocketBase&, std::uint16_t e) { Log("sent(" + std::to_string(e) + ")"); };
    socket->OnDnsLookupDone = [this](TSocketBase&, std::uint16_t e) { Log("dns(" + std::to_string(e) + ")"); };
    socket->OnError = [this](TSocketBase& s) { Log("error(" + std::to_string(s.LastError()) + ")"); };
  }
  void Log(const std::string& e) { events.push_back(e); }
  int Count(const std::string& e) const {
    int n = 0;
    for (const auto& x : events) n += x == e;
    return n;
  }
  bool Has(const std::string& e) const { return Count(e) > 0; }
  void ConnectTo(const std::string& port) {
    socket->SetAddr("127.0.0.1");
    socket->SetPort(port);
    socket->Connect();
  }
  // Connects to `peer` and runs until both ends see the connection.
  void Connected(LoopbackPeer& peer) {
    ConnectTo(peer.Port());
    ASSERT_TRUE(loop->RunUntil([&] { return peer.TryAccept() && socket->State() == TSocketState::ssConnected && Has("sent(0)"); }, 5000));
  }

  std::unique_ptr<platform::EventLoop> loop;
  std::unique_ptr<TAsyncSocket> socket;
  std::vector<std::string> events;
};

TEST(WinsockErrorsTest, TextsAndMappings) {
  struct {
    int number;
    const char* text;
  } texts[] = {{0, "No Error"},
               {10022, "Invalid argument"},
               {10035, "Operation would block"},
               {10054, "Connection reset by peer"},
               {10057, "Socket is not connected"},
               {10061, "Connection refused"},
               {10093, "WinSock not initialized"},
               {11001, "Host not found"},
               {11004, "No Data"},
               {12345, "Not a WinSock error"},
               {10000, "Not a WinSock error"}};
  for (const auto& t : texts) EXPECT_EQ(platform::WinsockErrorText(t.number), t.text) << t.number;

  struct {
    int err;
    int wsa;
  } errnos[] = {{0, 0},
                {ECONNREFUSED, 10061},
                {ECONNRESET, 10054},
                {ENOTCONN, 10057},
                {ETIMEDOUT, 10060},
                {EHOSTUNREACH, 10065},
                {ENETUNREACH, 10051},
                {EWOULDBLOCK, 10035},
                {EAGAIN, 10035},
                {EINVAL, 10022},
                {EADDRINUSE, 10048},
                {EINPROGRESS, 10036},
                {ECONNABORTED, 10053}};
  for (const auto& e : errnos) EXPECT_EQ(platform::WinsockErrorFromErrno(e.err), e.wsa) << e.err;
  EXPECT_EQ(platform::WinsockErrorFromGai(EAI_NONAME, 0), 11001);
  EXPECT_EQ(platform::WinsockErrorFromGai(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(platform::WinsockErrorFromGai(EAI_FAIL, 0), 11003);
}

TEST_F(SocketLayerTest, DottedLookupAnswersBeforeItReturns) {
  const struct {
    const char* name;
    const char* result;
  } cases[] = {{"192.168.0.1", "192.168.0.1"}, {" 10.0.0.255 ", "10.0.0.255"}, {"127.000.000.001", "127.0.0.1"}};
  for (const auto& c : cases) {
    events.clear();
    socket->DnsLookup(c.name);
    EXPECT_EQ(events, (std::vector<std::string>{"dns(0)"})) << c.name;
    EXPECT_EQ(socket->DnsResult(), c.result);
    EXPECT_EQ(socket->DnsResultList(), (std::vector<std::string>{c.result}));
  }
  events.clear();
  socket->DnsLookup("");
  EXPECT_EQ(events, (std::vector<std::string>{"error(0)", "dns(10022)"}));
}

TEST_F(SocketLayerTest, NameLookupAnswersOnTheLoopAndCanBeCancelled) {
  socket->DnsLookup("localhost");
  EXPECT_TRUE(events.empty()) << "a name is resolved on a worker, never inside the call";
  ASSERT_TRUE(loop->RunUntil([&] { return !events.empty(); }, 5000));
  EXPECT_EQ(events, (std::vector<std::string>{"dns(0)"}));
  EXPECT_EQ(socket->DnsResult(), "127.0.0.1");

  events.clear();
  socket->DnsLookup("localhost");
  socket->CancelDnsLookup();
  EXPECT_EQ(events, (std::vector<std::string>{"dns(10004)"}));
  // The worker's late answer is dropped.
  loop->RunUntil([] { return false; }, 200);
  EXPECT_EQ(events, (std::vector<std::string>{"dns(10004)"}));
}

TEST_F(SocketLayerTest, RefusedConnectionReportsConnectedWithErrorThenClosedOnce) {
  std::vector<std::pair<TSocketState, TSocketState>> states;
  socket->OnChangeState = [&](TSocketBase&, TSocketState a, TSocketState b) { states.push_back({a, b}); };
  ConnectTo(RefusingPort());
  ASSERT_TRUE(loop->RunUntil([&] { return Has("closed(0)"); }, 5000));
  loop->RunUntil([] { return false; }, 50);
  EXPECT_EQ(events, (std::vector<std::string>{"connected(10061)", "closed(0)"}));
  EXPECT_EQ(socket->State(), TSocketState::ssClosed);
  using S = TSocketState;
  EXPECT_EQ(states, (std::vector<std::pair<S, S>>{{S::ssClosed, S::ssOpened},
                                                   {S::ssOpened, S::ssConnecting},
                                                   {S::ssConnecting, S::ssConnected},
                                                   {S::ssConnected, S::ssClosed}}));
}

TEST_F(SocketLayerTest, UsualPathOrderDataThenPeerCloseClosesOnce) {
  LoopbackPeer peer;
  std::string received;
  socket->OnDataAvailable = [&](TSocketBase& s, std::uint16_t e) {
    char buf[100];
    int n = s.Receive(buf, sizeof buf);
    if (n > 0) received.append(buf, static_cast<std::size_t>(n));
    Log("data(" + std::to_string(e) + ")");
  };
  Connected(peer);
  EXPECT_EQ(events.front(), "connected(0)");
  EXPECT_EQ(events.at(1), "sent(0)");
  peer.Send("hello world");
  ASSERT_TRUE(loop->RunUntil([&] { return received == "hello world"; }, 5000));
  peer.Send("last words");
  peer.CloseGently();
  ASSERT_TRUE(loop->RunUntil([&] { return Has("closed(0)"); }, 5000));
  loop->RunUntil([] { return false; }, 50);
  EXPECT_EQ(received, "hello worldlast words");
  EXPECT_EQ(Count("closed(0)"), 1);
  EXPECT_EQ(events.back(), "closed(0)");
  EXPECT_EQ(socket->State(), TSocketState::ssClosed);
}

TEST_F(SocketLayerTest, SendFillsChunksAndDataSentFollowsAnEmptyChain) {
  LoopbackPeer peer;
  Connected(peer);
  std::vector<int> writes;
  socket->OnSendData = [&](TSocketBase&, std::int32_t n) { writes.push_back(n); };
  events.clear();
  std::string data(3000, 'x');
  EXPECT_EQ(socket->Send(data.data(), 3000), 3000);
  EXPECT_EQ(writes, (std::vector<int>{1460, 1460, 80}));
  EXPECT_EQ(socket->BufferedByteCount(), 0);
  EXPECT_TRUE(events.empty()) << "OnDataSent comes from the loop, not from inside Send";
  ASSERT_TRUE(loop->RunUntil([&] { return Has("sent(0)"); }, 5000));
  ASSERT_TRUE(loop->RunUntil([&] { return peer.Drain().size() == 3000; }, 5000));

  // Nothing to send still produces OnDataSent.
  events.clear();
  EXPECT_EQ(socket->Send(nullptr, 0), 0);
  ASSERT_TRUE(loop->RunUntil([&] { return Has("sent(0)"); }, 5000));
}

TEST_F(SocketLayerTest, UnsentBytesStayQueuedUntilThePeerTakesThem) {
  LoopbackPeer peer;
  Connected(peer);
  events.clear();
  std::string block(64 * 1024, 'y');
  std::size_t accepted = 0;
  // Until the network refuses more: the rest waits in the chain.
  for (int i = 0; i < 400 && socket->BufferedByteCount() == 0; ++i) {
    ASSERT_EQ(socket->Send(block.data(), static_cast<int>(block.size())), static_cast<int>(block.size()));
    accepted += block.size();
  }
  ASSERT_GT(socket->BufferedByteCount(), 0);
  EXPECT_FALSE(socket->AllSent());
  loop->RunUntil([] { return false; }, 100);
  EXPECT_FALSE(Has("sent(0)")) << "OnDataSent only once the chain is empty";
  std::size_t drained = 0;
  // The peer reads as fast as it can; the loop passes between its reads.
  ASSERT_TRUE(loop->RunUntil([&] {
    for (int i = 0; i < 1000 && !(drained == accepted && Has("sent(0)")); ++i) {
      drained += peer.Drain().size();
      loop->ProcessPending();
    }
    return drained == accepted && Has("sent(0)");
  }, 10000)) << drained << " of " << accepted << ", buffered " << socket->BufferedByteCount() << ", events " << events.size();
  EXPECT_EQ(socket->BufferedByteCount(), 0);
  EXPECT_EQ(Count("sent(0)"), 1);
}

TEST_F(SocketLayerTest, ResetWhileSendingClosesExactlyOnceWith10054) {
  LoopbackPeer peer;
  Connected(peer);
  peer.Reset();
  events.clear();
  std::string block(16 * 1024, 'z');
  ASSERT_TRUE(loop->RunUntil([&] {
    if (socket->State() == TSocketState::ssConnected) socket->Send(block.data(), static_cast<int>(block.size()));
    return socket->State() == TSocketState::ssClosed;
  }, 5000));
  loop->RunUntil([] { return false; }, 100);
  EXPECT_EQ(Count("closed(10054)"), 1);
  int closes = 0;
  for (const auto& e : events) closes += e.rfind("closed(", 0) == 0;
  EXPECT_EQ(closes, 1);
}

TEST_F(SocketLayerTest, EachWayOfClosingReportsOnce) {
  enum class How { Close, Abort, CloseLater };
  for (How how : {How::Close, How::Abort, How::CloseLater}) {
    LoopbackPeer peer;
    events.clear();
    Connected(peer);
    events.clear();
    if (how == How::Close) socket->Close();
    if (how == How::Abort) socket->Abort();
    if (how == How::CloseLater) {
      socket->CloseLater();
      EXPECT_TRUE(events.empty());
    }
    ASSERT_TRUE(loop->RunUntil([&] { return socket->State() == TSocketState::ssClosed; }, 5000));
    socket->Close();
    socket->Abort();
    loop->RunUntil([] { return false; }, 50);
    EXPECT_EQ(events, (std::vector<std::string>{"closed(0)"})) << static_cast<int>(how);
  }
}

TEST_F(SocketLayerTest, StaleAndPausedNotificationsChangeNothing) {
  LoopbackPeer peer;
  int available = 0;
  socket->OnDataAvailable = [&](TSocketBase& s, std::uint16_t) {
    ++available;
    char buf[64];
    s.Receive(buf, sizeof buf);
  };
  Connected(peer);
  const std::uint64_t handle = socket->Handle();
  // A notification for an earlier connection's handle.
  socket->NotificationWindow().PostToSelf(kMsgAsyncSelect, static_cast<std::uintptr_t>(handle - 1),
                                          MakeSelectReply(FD_CLOSE, 10054));
  loop->RunUntil([] { return false; }, 50);
  EXPECT_EQ(socket->State(), TSocketState::ssConnected);

  socket->PauseNotifications();
  socket->NotificationWindow().PostToSelf(kMsgAsyncSelect, static_cast<std::uintptr_t>(handle), MakeSelectReply(FD_CLOSE, 0));
  peer.Send("while paused");
  loop->RunUntil([] { return false; }, 100);
  EXPECT_EQ(available, 0);
  EXPECT_EQ(socket->State(), TSocketState::ssConnected);
  EXPECT_FALSE(Has("closed(0)"));

  socket->ResumeNotifications();
  ASSERT_TRUE(loop->RunUntil([&] { return available > 0; }, 5000)) << "waiting data is reported after resuming";
}

TEST_F(SocketLayerTest, WithoutHandlerDataIsDiscardedInPiecesOf1024) {
  LoopbackPeer peer;
  std::vector<std::string> lines;
  socket->Logger = [&](const std::string& l) { lines.push_back(l); };
  Connected(peer);
  peer.Send(std::string(3000, 'd'));
  ASSERT_TRUE(loop->RunUntil([&] { return socket->ReadCount() == 3000; }, 5000));
  int total = 0;
  for (const auto& l : lines) {
    ASSERT_EQ(l.rfind("Discarded ", 0), 0u) << l;
    int n = std::stoi(l.substr(10));
    EXPECT_LE(n, 1024);
    total += n;
  }
  EXPECT_EQ(total, 3000);
  EXPECT_GE(lines.size(), 3u);
  EXPECT_EQ(socket->State(), TSocketState::ssConnected);
}

TEST_F(SocketLayerTest, GuardsAndMisuseReportTheirMessages) {
  // Sending while not connected.
  events.clear();
  EXPECT_EQ(socket->Send("x", 1), -1);
  EXPECT_EQ(socket->LastError(), 10057);
  EXPECT_EQ(events, (std::vector<std::string>{"error(10057)"}));

  // Without OnError the same report is raised.
  socket->OnError = nullptr;
  try {
    socket->Send("x", 1);
    FAIL() << "no exception";
  } catch (const ESocketException& e) {
    EXPECT_EQ(std::string(e.what()), "Error 10057 in function Send\r\nSocket is not connected");
  }

  const struct {
    const char* addr;
    const char* port;
    const char* message;
  } connects[] = {
      {"127.0.0.1", "", "Connect: No Port Specified"},
      {"", "80", "Connect: No IP Address Specified"},
      {"300.1.1.1", "80", "connect: SocketResolveHost: '300.1.1.1' Invalid IP address."},
      {"127.0.0.1", "99999", "connect: SocketResolvePort: Cannot convert port '99999', Error #10022"},
  };
  for (const auto& c : connects) {
    socket->SetAddr(c.addr);
    socket->SetPort(c.port);
    try {
      socket->Connect();
      ADD_FAILURE() << "no exception for " << c.message;
    } catch (const ESocketException& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_EQ(socket->State(), TSocketState::ssClosed);
  }

  LoopbackPeer peer;
  socket->OnError = [this](TSocketBase& s) { Log("error(" + std::to_string(s.LastError()) + ")"); };
  Connected(peer);
  socket->OnError = nullptr;
  const struct {
    void (TAsyncSocket::*set)(const std::string&);
    const char* message;
  } guards[] = {{&TAsyncSocket::SetAddr, "Cannot change Addr if not closed"},
                {&TAsyncSocket::SetPort, "Cannot change Port if not closed"},
                {&TAsyncSocket::SetProto, "Cannot change Proto if not closed"},
                {&TAsyncSocket::SetLocalAddr, "Cannot change LocalAddr if not closed"},
                {&TAsyncSocket::SetLocalPort, "Cannot change LocalPort if not closed"},
                {&TAsyncSocket::SetSocksServer, "Can't change socks server if not closed"},
                {&TAsyncSocket::SetSocksPort, "Can't change socks port if not closed"},
                {&TAsyncSocket::SetSocksLevel, "Can't change socks level if not closed"}};
  for (const auto& g : guards) {
    try {
      (socket.get()->*g.set)("10.9.8.7");
      ADD_FAILURE() << "no exception for " << g.message;
    } catch (const ESocketException& e) {
      EXPECT_EQ(std::string(e.what()), g.message);
    }
  }
  EXPECT_EQ(socket->Addr(), "127.0.0.1");
  EXPECT_EQ(socket->Port(), peer.Port());
  socket->Close();
  EXPECT_THROW(socket->SetSocksLevel("6"), ESocketException);
  socket->SetSocksLevel("4a");
  EXPECT_EQ(socket->SocksLevel(), "4A");
}

}  // namespace
