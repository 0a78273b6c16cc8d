// The socket proper: descriptor watch to readiness notifications, the send
// chain, the receive loop, closing, name lookup and the error reports.
#include "net/SocketBase.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "net/SocketException.h"
#include "platform/WinsockErrors.h"

namespace net {

namespace {

// Every send chain is appended to, written out and dropped under this lock.
std::recursive_mutex& SendLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::atomic<std::uint64_t> g_nextHandle{1};

std::string TrimBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// Four decimal numbers 0..255 separated by three dots, blanks allowed around.
bool ParseDotted(const std::string& text, in_addr& out) {
  std::string s = TrimBlanks(text);
  unsigned parts[4];
  int count = 0;
  std::size_t i = 0;
  while (count < 4) {
    std::size_t start = i;
    unsigned value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 3) value = value * 10 + static_cast<unsigned>(s[i++] - '0');
    if (i == start || value > 255) return false;
    parts[count++] = value;
    if (count < 4) {
      if (i >= s.size() || s[i] != '.') return false;
      ++i;
    }
  }
  if (i != s.size()) return false;
  out.s_addr = htonl((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]);
  return true;
}

bool LooksDotted(const std::string& s) {
  for (char c : s)
    if (!((c >= '0' && c <= '9') || c == '.' || c == ' ')) return false;
  return !s.empty();
}

std::string Dotted(in_addr a) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

std::string Format(const char* pattern, const std::string& s, int n) {
  char buf[512];
  std::snprintf(buf, sizeof buf, pattern, s.c_str(), n);
  return buf;
}

std::string Format(const char* pattern, int n) {
  char buf[256];
  std::snprintf(buf, sizeof buf, pattern, n);
  return buf;
}

// Resolver steps of Connect; each throws ESocketException with its message.
int ResolveProto(const std::string& proto) {
  if (proto.empty() || proto.size() >= 32) throw ESocketException("SocketResolveProto: Invalid Protocol.");
  std::string p;
  for (char c : proto) p += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (p == "tcp") return IPPROTO_TCP;
  if (p == "udp") return IPPROTO_UDP;
  if (p == "raw") return IPPROTO_RAW;
  if (p[0] >= '0' && p[0] <= '9') return std::atoi(p.c_str());
  protoent* pe = getprotobyname(p.c_str());
  if (!pe) throw ESocketException(Format("SocketResolveProto: Cannot convert protocol '%s', Error #%d", proto, platform::kWsaNO_DATA));
  return pe->p_proto;
}

std::uint16_t ResolvePort(const std::string& port, const std::string& proto) {
  if (port.empty() || port.size() >= 32) throw ESocketException("SocketResolvePort: Invalid Port.");
  if (proto.empty() || proto.size() >= 32) throw ESocketException("SocketResolvePort: Invalid Proto.");
  if (port[0] >= '0' && port[0] <= '9') {
    unsigned long value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') break;
      value = value * 10 + static_cast<unsigned long>(c - '0');
      if (value > 65535) break;
    }
    if (value > 65535) throw ESocketException(Format("SocketResolvePort: Cannot convert port '%s', Error #%d", port, platform::kWsaEINVAL));
    return static_cast<std::uint16_t>(value);
  }
  servent* se = getservbyname(port.c_str(), proto.c_str());
  if (!se) throw ESocketException(Format("SocketResolvePort: Cannot convert port '%s', Error #%d", port, platform::kWsaNO_DATA));
  return ntohs(static_cast<std::uint16_t>(se->s_port));
}

in_addr ResolveHost(const std::string& host) {
  if (host.empty() || host.size() > 256) throw ESocketException("SocketResolveHost: '" + host + "' Invalid Hostname.");
  in_addr a{};
  if (LooksDotted(host)) {
    if (TrimBlanks(host) == "255.255.255.255") {
      a.s_addr = INADDR_NONE;
      return a;
    }
    if (!ParseDotted(host, a)) throw ESocketException("SocketResolveHost: '" + host + "' Invalid IP address.");
    return a;
  }
  // A name here is resolved while the caller waits; the transport avoids it
  // by connecting to the looked-up address.
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int rc = getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (rc != 0 || !list)
    throw ESocketException(Format("SocketResolveHost: Cannot convert host address '%s', Error #%d", host,
                                  platform::WinsockErrorFromGai(rc, errno)));
  a = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
  freeaddrinfo(list);
  return a;
}

}  // namespace

// The notification window: every message of the socket arrives here.
class TSocketBase::Window final : public platform::MessageTarget {
 public:
  Window(platform::EventLoop& loop, TSocketBase& owner) : MessageTarget(loop), owner_(owner) {}
  void HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) override {
    owner_.HandleMessage(msg, wparam, lparam);
  }

 private:
  TSocketBase& owner_;
};

TSocketBase::TSocketBase(platform::EventLoop& loop)
    : loop_(loop), resolver_(loop), alive_(std::make_shared<bool>(true)) {
  NotificationWindow_ = std::make_unique<Window>(loop, *this);
}

TSocketBase::~TSocketBase() {
  Destroying_ = true;
  *alive_ = false;
  if (LookupHandle_) resolver_.Cancel(LookupHandle_);
  LookupHandle_ = 0;
  if (State_ != TSocketState::ssClosed) Close();
  watch_.reset();
  if (fd_ >= 0) ::close(fd_);
}

void TSocketBase::Log(const std::string& line) {
  if (Logger) Logger(line);
}

// --- properties ----------------------------------------------------------

bool TSocketBase::ChangeAllowed(const char* property) {
  if (State_ == TSocketState::ssClosed) return true;
  ReportError(std::string("Cannot change ") + property + " if not closed");
  return false;
}

void TSocketBase::SetAddr(const std::string& value) {
  if (!ChangeAllowed("Addr")) return;
  Addr_ = TrimBlanks(value);
  AddrAssigned_ = true;
}

void TSocketBase::SetPort(const std::string& value) {
  if (!ChangeAllowed("Port")) return;
  Port_ = TrimBlanks(value);
  PortAssigned_ = true;
}

void TSocketBase::SetProto(const std::string& value) {
  if (!ChangeAllowed("Proto")) return;
  Proto_ = value;
}

void TSocketBase::SetLocalAddr(const std::string& value) {
  if (!ChangeAllowed("LocalAddr")) return;
  LocalAddr_ = value.empty() ? "0.0.0.0" : value;
}

void TSocketBase::SetLocalPort(const std::string& value) {
  if (!ChangeAllowed("LocalPort")) return;
  LocalPort_ = value;
}

void TSocketBase::SetSendFlags(int value) {
  if (value == static_cast<int>(TSocketSendFlags::sfSendNormal))
    SendFlags_ = TSocketSendFlags::sfSendNormal;
  else if (value == static_cast<int>(TSocketSendFlags::sfSendUrgent))
    SendFlags_ = TSocketSendFlags::sfSendUrgent;
  else
    ReportError("Invalid SendFlags");
}

// --- reporting -----------------------------------------------------------

void TSocketBase::SocketError(const std::string& functionName) {
  const int n = CurrentError_;
  std::string text = "Error " + std::to_string(n) + " in function " + functionName + "\r\n" +
                     platform::WinsockErrorText(n);
  if (n == platform::kWsaECONNRESET || n == platform::kWsaENOTCONN) {
    const bool wasOpen = State_ != TSocketState::ssClosed;
    if (fd_ >= 0) {
      watch_.reset();
      ::close(fd_);
      fd_ = -1;
    }
    if (wasOpen) {
      ChangeState(TSocketState::ssClosed);
      if (!CloseReported_ && !Destroying_) {
        CloseReported_ = true;
        std::shared_ptr<bool> alive = alive_;
        TriggerSessionClosed(n);
        if (!*alive) return;
      }
      ResetConnectionFields();
    }
  }
  LastError_ = n;
  ReportError(text);
}

void TSocketBase::ReportError(const std::string& text) {
  Log(text);
  if (OnError) {
    OnError(*this);
    return;
  }
  throw ESocketException(text);
}

// --- triggers ------------------------------------------------------------

void TSocketBase::TriggerDnsLookupDone(int error) {
  if (OnDnsLookupDone) OnDnsLookupDone(*this, static_cast<std::uint16_t>(error));
}
void TSocketBase::TriggerSessionConnected(int error) {
  if (OnSessionConnected) OnSessionConnected(*this, static_cast<std::uint16_t>(error));
}
bool TSocketBase::TriggerDataAvailable(int error) {
  if (!OnDataAvailable) return false;
  OnDataAvailable(*this, static_cast<std::uint16_t>(error));
  return true;
}
void TSocketBase::TriggerDataSent(int error) {
  if (OnDataSent) OnDataSent(*this, static_cast<std::uint16_t>(error));
}
void TSocketBase::TriggerSessionClosed(int error) {
  if (OnSessionClosed) OnSessionClosed(*this, static_cast<std::uint16_t>(error));
}

void TSocketBase::ChangeState(TSocketState newState) {
  TSocketState old = State_;
  State_ = newState;
  if (old != newState && OnChangeState && !Destroying_) OnChangeState(*this, old, newState);
}

void TSocketBase::ResetConnectionFields() {
  AddrAssigned_ = false;
  PortAssigned_ = false;
  Proto_ = "tcp";
  LocalPort_ = "0";
  LocalAddr_ = "0.0.0.0";
  LingerOnOff_ = TSocketLingerOnOff::lgLingerOn;
  LingerTimeout_ = 0;
  State_ = TSocketState::ssClosed;
  AllSent_ = true;
  NotificationsPaused_ = false;
  ReadCount_ = 0;
  CloseReported_ = false;
  Handle_ = 0;
}

// --- name lookup ---------------------------------------------------------

void TSocketBase::DnsLookup(const std::string& hostName) {
  if (hostName.empty()) {
    std::shared_ptr<bool> alive = alive_;
    ReportError("DNS lookup: invalid host name.");
    if (!*alive) return;
    TriggerDnsLookupDone(platform::kWsaEINVAL);
    return;
  }
  if (LookupHandle_) CancelDnsLookup();
  DnsResult_.clear();
  DnsResultList_.clear();
  in_addr a{};
  if (ParseDotted(hostName, a)) {
    DnsResult_ = Dotted(a);
    DnsResultList_.push_back(DnsResult_);
    TriggerDnsLookupDone(0);
    return;
  }
  int error = 0;
  std::weak_ptr<bool> weak = alive_;
  LookupHandle_ = resolver_.Start(hostName, [this, weak](const platform::NameLookupResult& result) {
    auto alive = weak.lock();
    if (!alive || !*alive) return;
    RunGuarded([&] {
      LookupHandle_ = 0;
      if (result.error == 0) {
        DnsResultList_ = result.addresses;
        DnsResult_ = DnsResultList_.empty() ? std::string() : DnsResultList_.front();
      }
      TriggerDnsLookupDone(result.error);
    });
  }, &error);
  if (!LookupHandle_) {
    CurrentError_ = error;
    LastError_ = error;
    ReportError(Format("%s: can't start DNS lookup, error #%d", hostName, error));
  }
}

void TSocketBase::CancelDnsLookup() {
  if (!LookupHandle_) return;
  resolver_.Cancel(LookupHandle_);
  LookupHandle_ = 0;
  if (!Destroying_) TriggerDnsLookupDone(platform::kWsaEINTR);
}

// --- connecting ----------------------------------------------------------

void TSocketBase::Connect() {
  if (fd_ >= 0 && State_ != TSocketState::ssClosed) {
    ReportError("Connect: Socket already in use");
    return;
  }
  if (!PortAssigned_ || Port_.empty()) {
    ReportError("Connect: No Port Specified");
    return;
  }
  if (!AddrAssigned_ || Addr_.empty()) {
    ReportError("Connect: No IP Address Specified");
    return;
  }
  if (Proto_.empty()) {
    ReportError("Connect: No Protocol Specified");
    return;
  }
  int proto;
  sockaddr_in remote{};
  sockaddr_in local{};
  try {
    proto = ResolveProto(Proto_);
    std::string protoName = proto == IPPROTO_UDP ? "udp" : "tcp";
    remote.sin_family = AF_INET;
    remote.sin_port = htons(ResolvePort(Port_, protoName));
    remote.sin_addr = ResolveHost(Addr_);
    local.sin_family = AF_INET;
    local.sin_port = htons(LocalPort_.empty() ? 0 : ResolvePort(LocalPort_, protoName));
    local.sin_addr = ResolveHost(LocalAddr_.empty() ? "0.0.0.0" : LocalAddr_);
  } catch (const ESocketException& e) {
    ReportError(std::string("connect: ") + e.what());
    return;
  }

  {
    std::lock_guard lock(SendLock());
    SendChain_.clear();
    BufferedByteCount_ = 0;
  }
  if (proto != IPPROTO_TCP) {
    // Only TCP is provided.
    CurrentError_ = platform::kWsaEPROTONOSUPPORT;
    SocketError("Connect (socket)");
    return;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    CurrentError_ = platform::WinsockErrorFromErrno(errno);
    SocketError("Connect (socket)");
    return;
  }
  fd_ = fd;
  Handle_ = g_nextHandle++;
  CloseReported_ = false;
  AllSent_ = true;
  socklen_t optLen = sizeof SndBufSize_;
  if (getsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &SndBufSize_, &optLen) != 0) {
    CurrentError_ = platform::WinsockErrorFromErrno(errno);
    SocketError("getsockopt(SO_SNDBUF)");
    return;
  }
  optLen = sizeof RcvBufSize_;
  if (getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &RcvBufSize_, &optLen) != 0) {
    CurrentError_ = platform::WinsockErrorFromErrno(errno);
    SocketError("getsockopt(SO_RCVBUF)");
    return;
  }
  std::shared_ptr<bool> alive = alive_;
  ChangeState(TSocketState::ssOpened);
  if (!*alive) return;
  if (State_ != TSocketState::ssOpened) {
    CurrentError_ = platform::kWsaEINVAL;
    SocketError("Connect (Invalid operation in OnChangeState)");
    return;
  }

  auto fail = [&](const char* what) {
    CurrentError_ = platform::WinsockErrorFromErrno(errno);
    SocketError(what);
  };
  int one = 1;
  if (setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) return fail("setsockopt(SO_REUSEADDR)");
  if ((ComponentOptions_ & soTcpNoDelay) && setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0)
    return fail("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
  if (LingerOnOff_ != TSocketLingerOnOff::lgLingerNoSet) {
    linger l{};
    l.l_onoff = LingerOnOff_ == TSocketLingerOnOff::lgLingerOn ? 1 : 0;
    l.l_linger = LingerTimeout_;
    if (setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0) return fail("setsockopt(SO_LINGER)");
  }
  if (KeepAliveOnOff_ != TSocketKeepAliveOnOff::kaKeepAliveOff) {
    if (setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one) != 0) return fail("setsockopt(SO_KEEPALIVE)");
    if (KeepAliveOnOff_ == TSocketKeepAliveOnOff::kaKeepAliveOnCustom) {
      int idle = KeepAliveTime_ / 1000 > 0 ? KeepAliveTime_ / 1000 : 1;
      int intvl = KeepAliveInterval_ / 1000 > 0 ? KeepAliveInterval_ / 1000 : 1;
      if (setsockopt(fd_, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) != 0 ||
          setsockopt(fd_, IPPROTO_TCP, TCP_KEEPINTVL, &intvl, sizeof intvl) != 0)
        return fail("WSAIoctl(SIO_KEEPALIVE_VALS)");
    }
  }
  if (local.sin_port != 0 || local.sin_addr.s_addr != htonl(INADDR_ANY)) {
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      int err = platform::WinsockErrorFromErrno(errno);
      CurrentError_ = err;
      LastError_ = err;
      ReportError(Format("winsock.bind failed, error #%d", err));
      return;
    }
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &len) != 0) {
      int err = platform::WinsockErrorFromErrno(errno);
      CurrentError_ = err;
      LastError_ = err;
      ReportError(Format("winsock.getsockname failed, error #%d", err));
      return;
    }
    LocalPort_ = std::to_string(ntohs(bound.sin_port));
  }

  watch_ = std::make_unique<platform::FdWatch>(loop_, fd_, [this](bool r, bool w) { OnDescriptorReady(r, w); });

  int rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
  int err = rc == 0 ? 0 : errno;
  if (rc == 0 || err == EINPROGRESS || err == EAGAIN) {
    ChangeState(TSocketState::ssConnecting);
    UpdateWatch();
    return;
  }
  const int wsa = platform::WinsockErrorFromErrno(err);
  if (wsa == platform::kWsaECONNREFUSED || wsa == platform::kWsaETIMEDOUT || wsa == platform::kWsaENETUNREACH ||
      wsa == platform::kWsaEHOSTUNREACH) {
    // The outcome of a connection attempt is always told asynchronously,
    // also when the system knows it at once (loopback refusals).
    ChangeState(TSocketState::ssConnecting);
    if (!*alive) return;
    watch_->SetEvents(false, false);
    NotificationWindow_->PostToSelf(kMsgAsyncSelect, static_cast<std::uintptr_t>(Handle_), MakeSelectReply(FD_CONNECT, wsa));
    return;
  }
  CurrentError_ = wsa;
  LastError_ = wsa;
  SocketError("Connect");
}

// --- notifications -------------------------------------------------------

void TSocketBase::UpdateWatch() {
  if (!watch_) return;
  if (NotificationsPaused_) {
    watch_->SetEvents(false, false);
    return;
  }
  switch (State_) {
    case TSocketState::ssConnecting:
      watch_->SetEvents(true, true);
      break;
    case TSocketState::ssConnected:
    case TSocketState::ssSocksConnected:
      watch_->SetEvents(true, ChainHasData());
      break;
    default:
      watch_->SetEvents(false, false);
      break;
  }
}

bool TSocketBase::ChainHasData() const {
  for (const auto& chunk : SendChain_)
    if (chunk->Written() > chunk->Consumed()) return true;
  return false;
}

// Turns descriptor readiness into the events a readiness notification names.
void TSocketBase::OnDescriptorReady(bool readable, bool writable) {
  if (fd_ < 0) return;
  const std::uint64_t handle = Handle_;
  if (State_ == TSocketState::ssConnecting) {
    int soError = 0;
    socklen_t len = sizeof soError;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
    if (soError == 0 && !writable) return;  // not yet decided
    int err = platform::WinsockErrorFromErrno(soError);
    HandleReadiness(handle, err == 0 ? (FD_CONNECT | FD_WRITE) : FD_CONNECT, err);
    return;
  }
  unsigned events = 0;
  int err = 0;
  if (readable) {
    char probe;
    ssize_t n = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
      events |= FD_READ;
    } else if (n == 0) {
      events |= FD_CLOSE;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      events |= FD_CLOSE;
      err = platform::WinsockErrorFromErrno(errno);
    }
  }
  if (writable) events |= FD_WRITE;
  if (events) HandleReadiness(handle, events, err);
}

void TSocketBase::RunGuarded(const std::function<void()>& body) {
  std::shared_ptr<bool> alive = alive_;
  try {
    body();
  } catch (const std::exception& e) {
    if (!*alive) return;
    Log(std::string("Background exception: ") + e.what());
    bool canClose = true;
    if (OnBackgroundException) {
      try {
        OnBackgroundException(*this, e, canClose);
      } catch (...) {
      }
    }
    if (*alive && canClose) Abort();
  }
}

void TSocketBase::HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  switch (msg) {
    case kMsgAsyncSelect:
      RunGuarded([&] {
        const auto bits = static_cast<unsigned>(lparam) & 0xFFFFu;
        const int error = static_cast<int>((static_cast<unsigned>(lparam) >> 16) & 0xFFFFu);
        HandleReadiness(static_cast<std::uint64_t>(wparam), bits, error);
      });
      break;
    case kMsgCloseDelayed:
      // A close requested for an earlier connection does not close a new one.
      if (static_cast<std::uint64_t>(wparam) == Handle_) RunGuarded([&] { Close(); });
      break;
    default:
      break;
  }
}

void TSocketBase::HandleReadiness(std::uint64_t handle, unsigned events, int error) {
  if (handle == 0 || handle != Handle_ || fd_ < 0 || NotificationsPaused_) return;
  std::shared_ptr<bool> alive = alive_;
  auto current = [&] { return *alive && Handle_ == handle && fd_ >= 0; };

  if (events & FD_CONNECT) {
    if (State_ != TSocketState::ssConnected) {
      ChangeState(TSocketState::ssConnected);
      if (!current()) return;
      UpdateWatch();
      TriggerSessionConnected(error);
      if (!current()) return;
      if (error != 0 && State_ != TSocketState::ssClosed) {
        Close();
        return;
      }
    }
  }
  if (events & FD_READ) {
    if (State_ != TSocketState::ssConnected) {
      ChangeState(TSocketState::ssConnected);
      if (!current()) return;
      UpdateWatch();
      TriggerSessionConnected(error);
      if (!current()) return;
    }
    ReceiveLoop(error, false);
    if (!current()) return;
  }
  if (events & FD_WRITE) {
    TryToSend();
    if (!current()) return;
    if (!ChainHasData()) {
      TriggerDataSent(error);
      if (!current()) return;
    }
  }
  if (events & FD_CLOSE) {
    if (State_ == TSocketState::ssConnecting) return;
    ReceiveLoop(0, true);
    if (!current()) return;
    if (!CloseReported_) {
      CloseReported_ = true;
      TriggerSessionClosed(error);
      if (!*alive || Handle_ != handle) return;
    }
    if (State_ != TSocketState::ssClosed) Close();
  }
}

void TSocketBase::ReceiveLoop(int error, bool forced) {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t handle = Handle_;
  int lastWaiting = -1;
  std::int64_t lastRead = -1;
  for (;;) {
    LastError_ = 0;
    if (!TriggerDataAvailable(error)) {
      char scrap[1024];
      int n = Receive(scrap, sizeof scrap);
      if (n < 0 && LastError_ == platform::kWsaEWOULDBLOCK) {
        LastError_ = 0;
        break;
      }
      if (n > 0) Log("Discarded " + std::to_string(n) + " bytes");
    }
    if (!*alive || Handle_ != handle || fd_ < 0) return;
    if ((ComponentOptions_ & soNoReceiveLoop) && !forced) break;
    if (LastError_ != 0) break;
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0) {
      LastError_ = platform::WinsockErrorFromErrno(errno);
      break;
    }
    if (waiting <= 0) break;
    // A handler that leaves the data where it is would be called for ever;
    // the descriptor watch reports the data again on the next pass.
    if (waiting == lastWaiting && ReadCount_ == lastRead) break;
    lastWaiting = waiting;
    lastRead = ReadCount_;
  }
}

// --- sending -------------------------------------------------------------

int TSocketBase::Send(const void* data, int len) {
  if (State_ != TSocketState::ssConnected && State_ != TSocketState::ssSocksConnected) {
    CurrentError_ = platform::kWsaENOTCONN;
    SocketError("Send");
    return -1;
  }
  AllSent_ = false;
  if (len > 0) {
    std::lock_guard lock(SendLock());
    if (SendChain_.empty()) SendChain_.push_back(std::make_unique<TBuffer>(ChunkSize_));
    BufferedByteCount_ += len;
    const char* p = static_cast<const char*>(data);
    int left = len;
    left -= SendChain_.back()->Write(p, left);
    while (left > 0) {
      SendChain_.push_back(std::make_unique<TBuffer>(ChunkSize_));
      left -= SendChain_.back()->Write(p + (len - left), left);
    }
  } else {
    len = 0;
  }
  const std::uint64_t handle = Handle_;
  std::shared_ptr<bool> alive = alive_;
  TryToSend();
  if (*alive && Handle_ == handle && fd_ >= 0 && !ChainHasData())
    NotificationWindow_->PostToSelf(kMsgAsyncSelect, static_cast<std::uintptr_t>(handle), MakeSelectReply(FD_WRITE, 0));
  return len;
}

void TSocketBase::TryToSend() {
  std::lock_guard lock(SendLock());
  if (fd_ < 0 || SendChain_.empty()) {
    AllSent_ = true;
    return;
  }
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t handle = Handle_;
  for (;;) {
    if (SendChain_.empty()) {
      AllSent_ = true;
      break;
    }
    TBuffer& chunk = *SendChain_.front();
    std::int32_t len = 0;
    const char* p = chunk.Peek(len);
    if (len == 0) {
      if (SendChain_.size() > 1) {
        SendChain_.pop_front();
        continue;
      }
      AllSent_ = true;
      break;
    }
    const int flags = MSG_NOSIGNAL | (SendFlags_ == TSocketSendFlags::sfSendUrgent ? MSG_OOB : 0);
    ssize_t n = ::send(fd_, p, static_cast<std::size_t>(len), flags);
    if (n > 0) {
      chunk.Remove(static_cast<std::int32_t>(n));
      BufferedByteCount_ -= n;
      if (BufferedByteCount_ < 0) BufferedByteCount_ = 0;
      if (OnSendData) OnSendData(*this, static_cast<std::int32_t>(n));
      if (!*alive || Handle_ != handle || fd_ < 0) return;
      if (n < len) break;  // the next write notification goes on
      continue;
    }
    if (n == 0) break;
    const int sysErr = errno;
    if (sysErr == EINTR) continue;
    // A broken pipe on a socket we have not shut down means the peer reset it.
    int err = sysErr == EPIPE ? platform::kWsaECONNRESET : platform::WinsockErrorFromErrno(sysErr);
    if (err == platform::kWsaEWOULDBLOCK) break;
    if (err == platform::kWsaEINVAL || err == platform::kWsaENOTSOCK || err == platform::kWsaECONNABORTED ||
        err == platform::kWsaECONNRESET || err == platform::kWsaENOTCONN) {
      CloseReported_ = true;
      LastError_ = err;
      Close();
      if (!*alive) return;
      TriggerSessionClosed(err);
      return;
    }
    CurrentError_ = err;
    SocketError("TryToSend failed");
    return;
  }
  if (*alive && Handle_ == handle) UpdateWatch();
}

int TSocketBase::Receive(void* buffer, int size) {
  if (fd_ < 0) {
    LastError_ = platform::kWsaENOTCONN;
    return -1;
  }
  ssize_t n;
  do {
    n = ::recv(fd_, buffer, static_cast<std::size_t>(size < 0 ? 0 : size), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    LastError_ = platform::WinsockErrorFromErrno(errno);
    return -1;
  }
  ReadCount_ += n;
  return static_cast<int>(n);
}

// --- pausing and closing -------------------------------------------------

void TSocketBase::PauseNotifications() {
  NotificationsPaused_ = true;
  UpdateWatch();
}

void TSocketBase::ResumeNotifications() {
  NotificationsPaused_ = false;
  UpdateWatch();
}

bool TSocketBase::DropHandle(bool shutdownFirst) {
  watch_.reset();
  if (shutdownFirst) ::shutdown(fd_, SHUT_WR);
  int rc = ::close(fd_);
  int err = rc == 0 ? 0 : errno;
  fd_ = -1;
  if (rc != 0 && err != EINTR) {
    CurrentError_ = platform::WinsockErrorFromErrno(err);
    SocketError("Disconnect (closesocket)");
    return false;
  }
  return true;
}

void TSocketBase::CloseHandle(bool graceful) {
  std::shared_ptr<bool> alive = alive_;
  if (!DropHandle(graceful)) return;
  ChangeState(TSocketState::ssClosed);
  if (!*alive) return;
  if (!Destroying_ && !CloseReported_) {
    CloseReported_ = true;
    TriggerSessionClosed(0);
    if (!*alive) return;
    // The handler may have started a new connection already.
    if (fd_ >= 0) return;
  }
  ResetConnectionFields();
}

void TSocketBase::Close() {
  if (fd_ >= 0 && State_ != TSocketState::ssClosed) {
    CloseHandle(true);
    return;
  }
  if (fd_ < 0 && State_ != TSocketState::ssClosed) {
    ChangeState(TSocketState::ssClosed);
    ResetConnectionFields();
  }
}

void TSocketBase::Abort() {
  if (LookupHandle_) CancelDnsLookup();
  {
    std::lock_guard lock(SendLock());
    SendChain_.clear();
    BufferedByteCount_ = 0;
  }
  if (fd_ >= 0 && State_ != TSocketState::ssClosed) {
    if (State_ == TSocketState::ssConnected) {
      linger l{};
      setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    CloseHandle(false);
    return;
  }
  Close();
}

void TSocketBase::CloseLater() {
  NotificationWindow_->PostToSelf(kMsgCloseDelayed, static_cast<std::uintptr_t>(Handle_));
}

}  // namespace net
