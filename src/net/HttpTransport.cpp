// The HTTP client component: request start, the request header, the response
// header and body, relocations, authentication and the posted messages.
#include "net/HttpTransport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <thread>

#include "net/Base64.h"
#include "net/HttpUrl.h"
#include "net/NtlmAuthorization.h"
#include "platform/WinsockErrors.h"

namespace net {

namespace {

constexpr std::size_t kReceiveBlock = 256 * 1024;
constexpr std::size_t kSendBlock = 8193;

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == Lower(prefix);
}

std::string ErrorReason(int error) {
  return platform::WinsockErrorText(error) + " (Error #" + std::to_string(error) + ")";
}

std::string HttpDate(std::time_t t) {
  static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %2.2d %s %4.4d %2.2d:%2.2d:%2.2d GMT", days[tm.tm_wday % 7], tm.tm_mday,
                months[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

// The last segment of a path without its query; "document.htm" when empty.
std::string DocumentName(const std::string& path) {
  std::string p = path.substr(0, path.find('?'));
  std::size_t slash = p.rfind('/');
  std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  return name.empty() ? "document.htm" : name;
}

}  // namespace

// The component's hidden window for its three posted messages.
class THttpTransport::Window final : public platform::MessageTarget {
 public:
  Window(platform::EventLoop& loop, THttpTransport& owner) : MessageTarget(loop), owner_(owner) {}
  void HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) override {
    owner_.HandleMessage(msg, wparam, lparam);
  }

 private:
  THttpTransport& owner_;
};

THttpTransport::THttpTransport(platform::EventLoop& loop) : loop_(loop), alive_(std::make_shared<bool>(true)) {
  Window_ = std::make_unique<Window>(loop, *this);
  CtrlSocket_ = std::make_unique<TAsyncSocket>(loop);
  CtrlSocket_->SetMultiThreaded(false);
  CtrlSocket_->OnDnsLookupDone = [this](TSocketBase&, std::uint16_t e) { SocketDnsLookupDone(e); };
  CtrlSocket_->OnSessionConnected = [this](TSocketBase&, std::uint16_t e) { SocketSessionConnected(e); };
  CtrlSocket_->OnDataAvailable = [this](TSocketBase&, std::uint16_t e) { SocketDataAvailable(e); };
  CtrlSocket_->OnDataSent = [](TSocketBase&, std::uint16_t) {};
  CtrlSocket_->OnSessionClosed = [this](TSocketBase&, std::uint16_t e) { SocketSessionClosed(e); };
  CtrlSocket_->OnError = [this](TSocketBase&) { SocketError(); };
  ContentCodingHnd_ = std::make_unique<TCodingHandler>(
      [this](const char* data, std::size_t len) {
        // A stream that cannot take the bytes (a full disk) must not let the
        // transfer end as a success with a short file.
        if (RcvdStream && RcvdStream->Write(data, len) != len) StreamWriteFailed_ = true;
      },
      [this](const char* data, std::size_t len) {
        if (OnDocData) OnDocData(*this, data, len);
      });
}

THttpTransport::~THttpTransport() {
  *alive_ = false;
  BandwidthTimer_.reset();
  CtrlSocket_.reset();
}

void THttpTransport::Trace(const std::string& text) {
  if (OnTrace) OnTrace(*this, text);
}

void THttpTransport::ChangeState(THttpState newState) {
  if (State_ == newState) return;
  State_ = newState;
  if (OnStateChange) OnStateChange(*this);
}

// --- starting ------------------------------------------------------------

void THttpTransport::StartGet() {
  StartRequest(THttpRequestKind::rqGet);
}
void THttpTransport::StartHead() { StartRequest(THttpRequestKind::rqHead); }
void THttpTransport::StartPost() { StartRequest(THttpRequestKind::rqPost); }
void THttpTransport::StartPut() { StartRequest(THttpRequestKind::rqPut); }
void THttpTransport::StartClose() { StartRequest(THttpRequestKind::rqClose); }

void THttpTransport::StartRequest(THttpRequestKind rq) {
  if (rq != THttpRequestKind::rqClose && Busy())
    throw EHttpException("HTTP component " + Name + " is busy", 1);
  if (RequestVer != "1.0" && RequestVer != "1.1") throw EHttpException("Insupported HTTP version", 5);
  if ((rq == THttpRequestKind::rqPost || rq == THttpRequestKind::rqPut) && !SendStream)
    throw EHttpException("HTTP component has nothing to post or put", 2);
  LocationChangeCurCount_ = 0;
  DoRequestAsync(rq);
}

void THttpTransport::DoRequestAsync(THttpRequestKind rq) {
  ++Generation_;
  ReadyPosted_ = false;
  RequestDoneFired_ = false;
  RestartPending_ = false;
  RequestType_ = rq;
  RequestDoneError_ = 0;
  ResetResponse();

  if (rq == THttpRequestKind::rqClose) {
    StatusCode_ = 200;
    ReasonPhrase_ = "OK";
    ChangeState(THttpState::hsClosing);
    if (CtrlSocket_->State() != TSocketState::ssClosed)
      CtrlSocket_->Close();  // the session-closed handling makes us ready
    else
      SetReady();
    return;
  }

  CurUsername_ = Username;
  CurPassword_ = Password;
  CurConnection_ = Connection;
  CurProxyConnection_ = ProxyConnection;
  ParseRequestUrl(URL);
  AuthBasicState_ = ProxyAuthBasicState_ = THttpBasicState::basicNone;
  AuthNTLMState_ = ProxyAuthNTLMState_ = THttpNTLMState::ntlmNone;

  if (Options & htoBandwidthControl) {
    BandwidthMaxCount_ = static_cast<std::int64_t>(BandwidthLimit) * BandwidthSampling / 1000;
    BandwidthCount_ = 0;
    if (!BandwidthTimer_) BandwidthTimer_ = std::make_unique<platform::Timer>(loop_, BandwidthSampling, [this] { BandwidthTick(); });
    BandwidthTimer_->SetInterval(BandwidthSampling);
    BandwidthTimer_->SetEnabled(true);
  }
  ContentCodingHnd_->SetEnabled((Options & htoEnableContentCoding) != 0);
  ContentCodingHnd_->SetUseQuality((Options & htoUseQuality) != 0);
  ConnectOrSend();
}

void THttpTransport::ResetResponse() {
  StatusCode_ = 0;
  ReasonPhrase_.clear();
  ResponseVer_.clear();
  RcvdHeader_.clear();
  LastResponse_.clear();
  ContentLength_ = -1;
  ContentType_.clear();
  TransferEncoding_.clear();
  ContentEncoding_.clear();
  RcvdContentRangeBegin_.clear();
  RcvdContentRangeEnd_.clear();
  AcceptRanges_.clear();
  WWWAuthInfos_.clear();
  ProxyAuthInfos_.clear();
  Location_.clear();
  CloseAfterResponse_ = false;
  LocationFlag_ = false;
  RcvdCount_ = 0;
  HeaderStarted_ = false;
  StatusLineSeen_ = false;
  HeaderDone_ = false;
  DocStarted_ = false;
  DocEnded_ = false;
  ChunkedBody_ = false;
  StreamStartSize_ = -1;
  StreamWriteFailed_ = false;
  RcvdHeaderBytes_ = 0;
  HeaderTooLarge_ = false;
  LineBuffer_.Clear();
  ChunkDecoder_.Reset();
}

void THttpTransport::ParseRequestUrl(const std::string& url) {
  Target_ = url;
  THttpUrl u = ParseURL(url);
  Proto_ = u.Proto.empty() ? "http" : u.Proto;
  Hostname_ = u.Host;
  Port_ = u.Port.empty() ? "80" : u.Port;
  UrlPath_ = u.Path.empty() ? "/" : u.Path;
  if (!u.User.empty()) {
    CurUsername_ = u.User;
    CurPassword_ = u.Pass;
  }
  DocName_ = DocumentName(UrlPath_);
  if (Proxy.empty()) {
    Path_ = UrlPath_;
    ConnHost_ = Hostname_;
    ConnPort_ = Port_;
  } else {
    Path_ = AbsoluteUrl(Proto_, Hostname_, u.Port, UrlPath_);
    THttpUrl p = ParseURL(Proxy);
    ConnHost_ = p.Host;
    ConnPort_ = p.Port.empty() ? ProxyPort : p.Port;
  }
}

void THttpTransport::ConnectOrSend() {
  TAsyncSocket& s = *CtrlSocket_;
  if (s.State() == TSocketState::ssConnected && ConnectedHost_ == ConnHost_ && ConnectedPort_ == ConnPort_ &&
      ConnectedProto_ == Proto_) {
    ChangeState(THttpState::hsWaitingHeader);
    SendRequest();
    return;
  }
  if (s.State() != TSocketState::ssClosed) {
    IgnoreSocketClose_ = true;
    s.Close();
    IgnoreSocketClose_ = false;
  }
  ChangeState(THttpState::hsNotConnected);
  ChangeState(THttpState::hsDnsLookup);
  const std::uint64_t gen = Generation_;
  try {
    s.DnsLookup(ConnHost_);
  } catch (const std::exception& e) {
    if (gen != Generation_) return;
    StatusCode_ = 404;
    ReasonPhrase_ = e.what();
    SetReady();
  }
}

// --- socket events -------------------------------------------------------

void THttpTransport::SocketError() {
  if (OnSocketError) OnSocketError(*this);
}

void THttpTransport::SocketDnsLookupDone(int error) {
  if (State_ != THttpState::hsDnsLookup) return;
  if (error != 0) {
    StatusCode_ = 404;
    ReasonPhrase_ = "can't resolve hostname to IP address";
    RequestDoneError_ = error;
    SocketSessionClosed(error);
    return;
  }
  ChangeState(THttpState::hsDnsLookupDone);
  TAsyncSocket& s = *CtrlSocket_;
  s.SetAddr(s.DnsResult());
  s.SetLocalAddr(LocalAddr);
  s.SetPort(ConnPort_);
  s.SetProto("tcp");
  if (!SocksServer.empty()) {
    s.SetSocksServer(SocksServer);
    s.SetSocksPort(SocksPort);
    s.SetSocksLevel(SocksLevel);
  }
  s.SetSocksUsercode(SocksUsercode);
  s.SetSocksPassword(SocksPassword);
  s.SetSocksAuthentication(SocksAuthentication);
  ConnectedHost_ = ConnHost_;
  ConnectedPort_ = ConnPort_;
  ConnectedProto_ = Proto_;
  if (Proto_ != "http") {
    StatusCode_ = 501;
    ReasonPhrase_ = "Protocol \"" + Proto_ + "\" not implemented";
    RequestDoneError_ = s.LastError();
    SetReady();
    return;
  }
  const std::uint64_t gen = Generation_;
  std::shared_ptr<bool> alive = alive_;
  s.Connect();
  if (!*alive || gen != Generation_) return;
  if (s.State() != TSocketState::ssConnecting && s.State() != TSocketState::ssConnected) {
    const int err = s.LastError();
    StatusCode_ = 404;
    ReasonPhrase_ = "can't connect: " + ErrorReason(err);
    RequestDoneError_ = err;
    if (s.State() != TSocketState::ssClosed) {
      IgnoreSocketClose_ = true;
      s.Abort();
      IgnoreSocketClose_ = false;
    }
    SetReady();
  }
}

void THttpTransport::SocketSessionConnected(int error) {
  if (State_ != THttpState::hsDnsLookupDone) return;
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  if (error != 0) {
    StatusCode_ = 404;
    ReasonPhrase_ = ErrorReason(error);
    RequestDoneError_ = error;
    if (OnSessionConnected) OnSessionConnected(*this, static_cast<std::uint16_t>(error));
    return;  // the socket closes next, and the session-closed handling follows
  }
  ChangeState(THttpState::hsConnected);
  if (OnSessionConnected) OnSessionConnected(*this, 0);
  if (!*alive || gen != Generation_ || State_ != THttpState::hsConnected) return;
  ChangeState(THttpState::hsWaitingHeader);
  SendRequest();
}

void THttpTransport::SendRequest() {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  std::string method;
  switch (RequestType_) {
    case THttpRequestKind::rqPost: method = "POST"; break;
    case THttpRequestKind::rqPut: method = "PUT"; break;
    case THttpRequestKind::rqHead: method = "HEAD"; break;
    default: method = "GET"; break;
  }
  const bool hasBody = RequestType_ == THttpRequestKind::rqPost || RequestType_ == THttpRequestKind::rqPut;
  const bool ntlmUnderWay = (AuthNTLMState_ != THttpNTLMState::ntlmNone && AuthNTLMState_ != THttpNTLMState::ntlmDone) ||
                            (ProxyAuthNTLMState_ != THttpNTLMState::ntlmNone && ProxyAuthNTLMState_ != THttpNTLMState::ntlmDone);
  std::vector<std::string> lines;
  auto add = [&](const std::string& name, const std::string& value) {
    if (!value.empty()) lines.push_back(name + value);
  };
  lines.push_back(method + " " + Path_ + " HTTP/" + RequestVer);
  add("From: ", Sender);
  add("Accept: ", Accept);
  add("Referer: ", Reference);
  add("Connection: ", CurConnection_);
  add("Accept-Language: ", AcceptLanguage);
  if (RequestType_ != THttpRequestKind::rqHead) add("Accept-Encoding: ", ContentCodingHnd_->AcceptEncodingValue());
  if (hasBody) add("Content-Type: ", ContentTypePost);
  add("User-Agent: ", Agent);
  lines.push_back("Host: " + Hostname_ + (Port_ != "80" ? ":" + Port_ : std::string()));
  if (NoCache) lines.push_back("Pragma: no-cache");
  add("Proxy-Connection: ", CurProxyConnection_);
  if (hasBody) {
    std::int64_t remaining = 0;
    if (!ntlmUnderWay && SendStream) remaining = std::max<std::int64_t>(0, SendStream->Size() - SendStream->Position());
    lines.push_back("Content-Length: " + std::to_string(remaining));
  }
  if (ModifiedSince != 0) lines.push_back("If-Modified-Since: " + HttpDate(ModifiedSince));
  // The server's credentials wait while the proxy's NTLM exchange takes its
  // first step.
  if (ProxyAuthNTLMState_ != THttpNTLMState::ntlmMsg1) {
    if (AuthNTLMState_ == THttpNTLMState::ntlmMsg1 || AuthNTLMState_ == THttpNTLMState::ntlmMsg3)
      lines.push_back("Authorization: " + AuthNTLMValue_);
    else if (AuthBasicState_ != THttpBasicState::basicNone)
      lines.push_back("Authorization: " + BasicAuthorizationValue(CurUsername_, CurPassword_));
  }
  if (ProxyAuthNTLMState_ == THttpNTLMState::ntlmMsg1 || ProxyAuthNTLMState_ == THttpNTLMState::ntlmMsg3)
    lines.push_back("Proxy-Authorization: " + ProxyAuthNTLMValue_);
  else if (ProxyAuthBasicState_ != THttpBasicState::basicNone)
    lines.push_back("Proxy-Authorization: " + BasicAuthorizationValue(ProxyUsername, ProxyPassword));
  add("Cookie: ", Cookie);
  if (!ContentRangeBegin.empty() || !ContentRangeEnd.empty()) {
    lines.push_back("Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd);
    ContentRangeBegin.clear();
    ContentRangeEnd.clear();
  }

  if (OnRequestHeaderBegin) OnRequestHeaderBegin(*this);
  if (!*alive || gen != Generation_) return;
  if (OnBeforeHeaderSend) OnBeforeHeaderSend(*this, method, lines);
  if (!*alive || gen != Generation_) return;
  std::string header;
  for (auto& line : lines) {
    if (OnCommand) OnCommand(*this, line);
    header += line;
    header += "\r\n";
  }
  if (!*alive || gen != Generation_) return;
  if (OnRequestHeaderEnd) OnRequestHeaderEnd(*this);
  if (!*alive || gen != Generation_) return;
  header += "\r\n";
  CtrlSocket_->Send(header.data(), static_cast<int>(header.size()));
  if (!*alive || gen != Generation_) return;
  if (hasBody && !ntlmUnderWay) SendBody();
}

void THttpTransport::SendBody() {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  if (OnSendBegin) OnSendBegin(*this);
  std::vector<char> block(kSendBlock);
  while (*alive && gen == Generation_ && SendStream) {
    std::size_t n = SendStream->Read(block.data(), block.size());
    if (n == 0) break;
    if (OnSendData) OnSendData(*this, block.data(), n);
    if (!*alive || gen != Generation_) return;
    if (CtrlSocket_->Send(block.data(), static_cast<int>(n)) < 0) return;
  }
  if (*alive && gen == Generation_ && OnSendEnd) OnSendEnd(*this);
}

void THttpTransport::SocketDataAvailable(int /*error*/) {
  if (ReceiveBuffer_.size() < kReceiveBlock) ReceiveBuffer_.resize(kReceiveBlock);
  int n = CtrlSocket_->Receive(ReceiveBuffer_.data(), static_cast<int>(ReceiveBuffer_.size()));
  if (n <= 0) return;
  if (Options & htoBandwidthControl) {
    BandwidthCount_ += n;
    if (BandwidthCount_ > BandwidthMaxCount_ && !BandwidthPaused_) {
      BandwidthPaused_ = true;
      CtrlSocket_->PauseNotifications();
    }
  }
  if (State_ == THttpState::hsWaitingBody && HeaderDone_ && RequestType_ == THttpRequestKind::rqHead) {
    CtrlSocket_->Close();
    return;
  }
  if (State_ != THttpState::hsWaitingHeader && State_ != THttpState::hsWaitingBody) return;  // not ours: dropped
  ProcessBytes(ReceiveBuffer_.data(), static_cast<std::size_t>(n));
}

// --- response ------------------------------------------------------------

void THttpTransport::ProcessBytes(const char* data, std::size_t len) {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  std::size_t off = 0;
  std::string line;
  while (off < len) {
    if (!*alive || gen != Generation_) return;
    if (!HeaderDone_ && (State_ == THttpState::hsWaitingHeader || State_ == THttpState::hsWaitingBody)) {
      bool gotLine = false, hadCR = false;
      off += LineBuffer_.Feed(data + off, len - off, line, gotLine, hadCR);
      if (gotLine) ProcessHeaderLine(line, hadCR);
    } else if (State_ == THttpState::hsWaitingBody) {
      std::size_t used = ProcessBody(data + off, len - off);
      if (used == 0 && State_ == THttpState::hsWaitingBody) return;
      off += used;
    } else {
      return;  // bytes after the response are dropped
    }
  }
}

void THttpTransport::ProcessHeaderLine(std::string& line, bool hadCR) {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  auto gone = [&] { return !*alive || gen != Generation_; };
  if (HeaderTooLarge_) return;
  // A header without end would grow the stored lines without bound.
  RcvdHeaderBytes_ += line.size() + 2;
  if (RcvdHeaderBytes_ > kMaxHeaderBytes) {
    HeaderTooLarge_ = true;
    RequestDoneError_ = kHttpErrBodyIncomplete;
    LocationFlag_ = false;
    CtrlSocket_->Close();
    return;
  }
  LastResponse_ = line;
  if (!HeaderStarted_) {
    HeaderStarted_ = true;
    if (OnHeaderBegin) OnHeaderBegin(*this);
    if (gone()) return;
  }
  if (!StatusLineSeen_) {
    if (RcvdHeader_.empty() && Upper(line.substr(0, 6)) == "<HTML>") {
      // A response without a header: the whole of it is the document.
      if (ContentType_.empty()) ContentType_ = "text/html";
      HeaderDone_ = true;
      ChangeState(THttpState::hsWaitingBody);
      if (OnHeaderEnd) OnHeaderEnd(*this);
      if (gone() || State_ != THttpState::hsWaitingBody) return;
      // The line end stays with the line: the document arrives byte for byte.
      std::string first = line + (hadCR ? "\r\n" : "\n");
      ProcessBody(first.data(), first.size());
      return;
    }
    if (!IsStatusLine(line)) {
      if (OnDataPush2) OnDataPush2(*this, line);
      return;
    }
    StatusLineSeen_ = true;
    TStatusLine status = ParseStatusLine(line);
    ResponseVer_ = status.version;
    StatusCode_ = status.statusCode;
    ReasonPhrase_ = status.reason;
    CloseAfterResponse_ = !(RequestVer == "1.1" && ResponseVer_ == "1.1");
  } else if (line.empty()) {
    HeaderEnded();
    return;
  } else {
    std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
      const std::string name = Lower(line.substr(0, colon));
      std::size_t v = colon + 1;
      while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
      const std::string value = line.substr(v);
      if (name == "location") {
        if (RequestType_ == THttpRequestKind::rqPut || !FollowRelocation) {
          Location_ = value;
        } else if (StatusCode_ >= 300 && StatusCode_ <= 399) {
          // Only a relocation status relocates: a document that names a
          // Location otherwise (201, 200) is kept.
          Location_ = ResolveLocation(Trim(value), Proto_, Hostname_, Port_, UrlPath_);
          LocationFlag_ = true;
        } else {
          Location_ = value;
        }
      } else if (name == "content-length") {
        ContentLength_ = ParseContentLength(value);
      } else if (name == "transfer-encoding") {
        TransferEncoding_ = Lower(value);
      } else if (name == "content-type") {
        ContentType_ = Lower(value);
      } else if (name == "content-encoding") {
        ContentEncoding_ = value;
      } else if (name == "content-range") {
        ParseContentRange(value, RcvdContentRangeBegin_, RcvdContentRangeEnd_);
      } else if (name == "accept-ranges") {
        AcceptRanges_ = value;
      } else if (name == "www-authenticate") {
        WWWAuthInfos_.push_back(value);
      } else if (name == "proxy-authenticate") {
        ProxyAuthInfos_.push_back(value);
      } else if (name == "set-cookie") {
        bool accept = true;
        if (OnCookie) OnCookie(*this, value, accept);
        if (gone()) return;
      } else if (name == "connection" || name == "proxy-connection") {
        const std::string v2 = Lower(Trim(value));
        if (v2 == "close")
          CloseAfterResponse_ = true;
        else if (v2 == "keep-alive")
          CloseAfterResponse_ = false;
      }
    }
  }
  RcvdHeader_.push_back(line);
  if (OnHeaderData) OnHeaderData(*this);
}

void THttpTransport::HeaderEnded() {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  if (ResponseVer_ == "1.1" && StatusCode_ == 100) {
    // An interim answer: drop it whole and read the real header.
    ResetResponse();
    return;
  }
  HeaderDone_ = true;
  if (OnHeaderEnd) OnHeaderEnd(*this);
  if (!*alive || gen != Generation_) return;
  if (State_ != THttpState::hsWaitingHeader && State_ != THttpState::hsWaitingBody) return;
  ChunkedBody_ = TransferEncoding_.find("chunked") != std::string::npos;
  const int s = StatusCode_;
  const bool noBody =
      (ContentLength_ == -1 && !ChunkedBody_ && (s < 200 || s == 204 || s == 301 || s == 302 || s == 304 || s == 401 || s == 407)) ||
      (ContentLength_ == 0 && !ChunkedBody_) || RequestType_ == THttpRequestKind::rqHead;
  if (noBody) {
    ChangeState(THttpState::hsBodyReceived);
    EndOfResponse();
    return;
  }
  if (ContentType_.rfind("text/html", 0) == 0) {
    std::size_t dot = DocName_.rfind('.');
    if (dot == std::string::npos)
      DocName_ += ".htm";
    else if (Lower(DocName_.substr(dot)) == ".exe")
      DocName_ = DocName_.substr(0, dot) + ".htm";
  }
  ChangeState(THttpState::hsWaitingBody);
}

std::size_t THttpTransport::ProcessBody(const char* data, std::size_t len) {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  auto gone = [&] { return !*alive || gen != Generation_ || State_ != THttpState::hsWaitingBody; };
  if (!DocStarted_) {
    DocStarted_ = true;
    if (OnDocBegin) OnDocBegin(*this);
    if (gone()) return len;
    ContentCodingHnd_->SetupDecoders(ContentEncoding_);
    StreamStartSize_ = RcvdStream ? RcvdStream->Size() : -1;
  }
  if (ChunkedBody_) {
    const char* payload = nullptr;
    std::size_t payloadLen = 0;
    std::size_t used = ChunkDecoder_.Feed(data, len, payload, payloadLen);
    if (payloadLen) {
      RcvdCount_ += static_cast<std::int64_t>(payloadLen);
      DeliverBody(payload, payloadLen);
      if (gone()) return used;
    }
    if (ChunkDecoder_.GetState() == THttpChunkDecoder::State::Done) {
      BodyComplete();
    } else if (ChunkDecoder_.GetState() == THttpChunkDecoder::State::Error) {
      // Framing that cannot be trusted.
      FailBody();
    }
    return used;
  }
  if (ContentLength_ >= 0) {
    std::size_t take = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(len), ContentLength_ - RcvdCount_));
    RcvdCount_ += static_cast<std::int64_t>(take);
    if (take) DeliverBody(data, take);
    if (gone()) return take;
    if (RcvdCount_ >= ContentLength_) BodyComplete();
    return take;
  }
  RcvdCount_ += static_cast<std::int64_t>(len);
  DeliverBody(data, len);
  return len;
}

void THttpTransport::DeliverBody(const char* data, std::size_t len) {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  ContentCodingHnd_->Write(data, len);
  if (!*alive || gen != Generation_ || State_ != THttpState::hsWaitingBody) return;
  if (StreamWriteFailed_) FailBody();
}

void THttpTransport::FailBody() {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  // The body ends here as a failure, and the connection goes with it.
  RequestDoneError_ = kHttpErrBodyIncomplete;
  LocationFlag_ = false;
  ChangeState(THttpState::hsBodyReceived);
  ContentCodingHnd_->FinishDecoders();
  DocEnded_ = true;
  if (OnDocEnd) OnDocEnd(*this);
  if (!*alive || gen != Generation_) return;
  if (CtrlSocket_->State() != TSocketState::ssClosed)
    CtrlSocket_->Close();
  else
    SetReady();
}

void THttpTransport::BodyComplete() {
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  ChangeState(THttpState::hsBodyReceived);
  ContentCodingHnd_->FinishDecoders();
  DocEnded_ = true;
  if (OnDocEnd) OnDocEnd(*this);
  if (!*alive || gen != Generation_ || State_ != THttpState::hsBodyReceived) return;
  EndOfResponse();
}

void THttpTransport::EndOfResponse() {
  if (LocationFlag_) {
    StartRelocation();
    return;
  }
  if (!CloseAfterResponse_) {
    SetReady();
    return;
  }
  if (CtrlSocket_->State() != TSocketState::ssClosed)
    CtrlSocket_->Close();  // the session-closed handling makes us ready
  else
    SetReady();
}

void THttpTransport::SocketSessionClosed(int error) {
  if (IgnoreSocketClose_) return;
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  auto gone = [&] { return !*alive || gen != Generation_; };
  const bool aborting = State_ == THttpState::hsAborting;
  const bool receiving = State_ == THttpState::hsWaitingHeader || State_ == THttpState::hsWaitingBody;
  if (error != 0 && RequestDoneError_ == 0) RequestDoneError_ = error;
  if (HeaderStarted_ && !HeaderDone_) {
    if (OnHeaderEnd) OnHeaderEnd(*this);
    if (gone()) return;
    if (LocationFlag_ && !aborting) {
      RelocationAfterClose();
      return;
    }
    if (!aborting && RequestDoneError_ == 0) RequestDoneError_ = kHttpErrBodyIncomplete;
  } else if (DocStarted_ && !DocEnded_) {
    const bool complete = !ChunkedBody_ && (ContentLength_ < 0 || RcvdCount_ >= ContentLength_);
    if (!complete && !aborting && RequestDoneError_ == 0) RequestDoneError_ = kHttpErrBodyIncomplete;
    DocEnded_ = true;
    ContentCodingHnd_->FinishDecoders();
    if (OnDocEnd) OnDocEnd(*this);
    if (gone()) return;
  } else if (receiving && !aborting && RequestDoneError_ == 0 && !(HeaderDone_ && ContentLength_ < 0 && !ChunkedBody_)) {
    // Closed before any response, or before the announced body began.
    RequestDoneError_ = kHttpErrBodyIncomplete;
  }
  if (LocationFlag_ && !aborting) {
    RelocationAfterClose();
    return;
  }
  if (OnSessionClosed) OnSessionClosed(*this, static_cast<std::uint16_t>(error));
  if (gone()) return;
  if (State_ != THttpState::hsReady) SetReady();
}

// --- relocation ----------------------------------------------------------

bool THttpTransport::CountRelocation() {
  ++LocationChangeCurCount_;
  if (LocationChangeCurCount_ <= LocationChangeMaxCount) return false;
  bool allow = false;
  if (OnLocationChangeExceeded) OnLocationChangeExceeded(*this, LocationChangeCurCount_, allow);
  if (allow) return false;
  LocationFlag_ = false;
  return true;
}

void THttpTransport::StartRelocation() {
  if (CountRelocation()) {
    EndOfResponse();
    return;
  }
  THttpUrl target = ParseURL(StripFragment(Location_));
  std::string host = Proxy.empty() ? target.Host : ConnHost_;
  std::string port = Proxy.empty() ? (target.Port.empty() ? "80" : target.Port) : ConnPort_;
  const bool otherEnd = host != ConnectedHost_ || port != ConnectedPort_ || target.Proto != ConnectedProto_;
  if ((otherEnd || CloseAfterResponse_) && CtrlSocket_->State() != TSocketState::ssClosed) {
    CtrlSocket_->Close();  // the session-closed handling goes on with the relocation
    return;
  }
  if (otherEnd || CloseAfterResponse_) {
    RelocationAfterClose();
    return;
  }
  RestartIsRelocation_ = true;
  PostRestart();
}

void THttpTransport::RelocationAfterClose() {
  if (CountRelocation()) {
    if (OnSessionClosed) OnSessionClosed(*this, 0);
    SetReady();
    return;
  }
  if (RequestType_ == THttpRequestKind::rqPost) RequestType_ = THttpRequestKind::rqGet;
  RestartIsRelocation_ = true;
  PostRestart();
}

void THttpTransport::PostRestart() {
  RestartPending_ = true;
  Window_->PostToSelf(kMsgHttpStartRequest, static_cast<std::uintptr_t>(Generation_));
}

void THttpTransport::CutBackStreams() {
  if (RcvdStream && StreamStartSize_ >= 0) {
    RcvdStream->SetSize(StreamStartSize_);
    RcvdStream->Seek(StreamStartSize_);
  }
  if (SendStream) SendStream->Seek(0);
}

void THttpTransport::Restart() {
  RestartPending_ = false;
  std::shared_ptr<bool> alive = alive_;
  const std::uint64_t gen = Generation_;
  if (RestartIsRelocation_) {
    RestartIsRelocation_ = false;
    const std::string target = StripFragment(Location_);
    if (OnLocationChange) OnLocationChange(*this);
    if (!*alive || gen != Generation_) return;
    CutBackStreams();
    const std::string oldHost = Hostname_;
    ResetResponse();
    URL = target;
    ParseRequestUrl(target);
    if (Lower(Hostname_) != Lower(oldHost)) {
      // Credentials for one host are not handed to another.
      AuthBasicState_ = THttpBasicState::basicNone;
      AuthNTLMState_ = THttpNTLMState::ntlmNone;
    }
  } else {
    CutBackStreams();
    ResetResponse();
  }
  ReadyPosted_ = false;
  RequestDoneFired_ = false;
  RequestDoneError_ = 0;
  ConnectOrSend();
}

// --- becoming ready ------------------------------------------------------

void THttpTransport::SetReady() {
  if (ReadyPosted_) return;
  ReadyPosted_ = true;
  Window_->PostToSelf(kMsgHttpSetReady, static_cast<std::uintptr_t>(Generation_));
}

void THttpTransport::HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t) {
  if (static_cast<std::uint64_t>(wparam) != Generation_) return;  // for an earlier request
  switch (msg) {
    case kMsgHttpSetReady:
      OnSetReady();
      break;
    case kMsgHttpRequestDone:
      if (!RequestDoneFired_) {
        RequestDoneFired_ = true;
        if (BandwidthTimer_) BandwidthTimer_->SetEnabled(false);
        if (BandwidthPaused_) {
          BandwidthPaused_ = false;
          CtrlSocket_->ResumeNotifications();
        }
        if (OnRequestDone) OnRequestDone(*this, RequestType_, static_cast<std::uint16_t>(RequestDoneError_));
      }
      break;
    case kMsgHttpStartRequest:
      if (RestartPending_) Restart();
      break;
    default:
      break;
  }
}

void THttpTransport::OnSetReady() {
  ReadyPosted_ = false;
  ChangeState(THttpState::hsReady);
  if (RequestDoneError_ != kHttpErrAborted && AnswerChallenge()) return;
  Window_->PostToSelf(kMsgHttpRequestDone, static_cast<std::uintptr_t>(Generation_));
}

bool THttpTransport::AnswerChallenge() {
  // A sent message is accepted when the answer is not a refusal; an accepted
  // exchange that is refused again starts over.
  if (StatusCode_ == 401) {
    if (AuthBasicState_ == THttpBasicState::basicDone) AuthBasicState_ = THttpBasicState::basicNone;
    if (AuthNTLMState_ == THttpNTLMState::ntlmDone) AuthNTLMState_ = THttpNTLMState::ntlmNone;
  } else {
    if (AuthNTLMState_ == THttpNTLMState::ntlmMsg3) AuthNTLMState_ = THttpNTLMState::ntlmDone;
    if (AuthBasicState_ == THttpBasicState::basicMsgSent) AuthBasicState_ = THttpBasicState::basicDone;
  }
  if (StatusCode_ == 407) {
    if (ProxyAuthBasicState_ == THttpBasicState::basicDone) ProxyAuthBasicState_ = THttpBasicState::basicNone;
    if (ProxyAuthNTLMState_ == THttpNTLMState::ntlmDone) ProxyAuthNTLMState_ = THttpNTLMState::ntlmNone;
  } else {
    if (ProxyAuthNTLMState_ == THttpNTLMState::ntlmMsg3) ProxyAuthNTLMState_ = THttpNTLMState::ntlmDone;
    if (ProxyAuthBasicState_ == THttpBasicState::basicMsgSent) ProxyAuthBasicState_ = THttpBasicState::basicDone;
  }
  bool answered = false;
  if (StatusCode_ == 401 && !CurUsername_.empty())
    answered = AnswerAuth(false);
  else if (StatusCode_ == 407 && !ProxyUsername.empty())
    answered = AnswerAuth(true);
  if (!answered) return false;
  CutBackStreams();
  RestartIsRelocation_ = false;
  PostRestart();
  return true;
}

bool THttpTransport::AnswerAuth(bool proxy) {
  const std::vector<std::string>& infos = proxy ? ProxyAuthInfos_ : WWWAuthInfos_;
  THttpNTLMState& ntlm = proxy ? ProxyAuthNTLMState_ : AuthNTLMState_;
  THttpBasicState& basic = proxy ? ProxyAuthBasicState_ : AuthBasicState_;
  std::string& ntlmValue = proxy ? ProxyAuthNTLMValue_ : AuthNTLMValue_;
  const std::string& user = proxy ? ProxyUsername : CurUsername_;
  const std::string& pass = proxy ? ProxyPassword : CurPassword_;
  const char* ntlmMessage = proxy ? "Unexpected ProxyAuthNTLMState" : "Unexpected AuthNTLMState";
  const char* basicMessage = proxy ? "Unexpected ProxyAuthBasicState" : "Unexpected AuthBasicState";

  const std::string* ntlmLine = nullptr;
  bool basicOffered = false;
  for (const auto& info : infos) {
    if (StartsNoCase(info, "NTLM") && !ntlmLine) ntlmLine = &info;
    if (StartsNoCase(info, "Basic")) basicOffered = true;
  }
  if (!(Options & htoNoNTLMAuth) && ntlmLine) {
    switch (ntlm) {
      case THttpNTLMState::ntlmNone:
        ntlmValue = NtlmType1Value();
        ntlm = THttpNTLMState::ntlmMsg1;
        // The exchange needs the connection kept between its steps.
        if (RequestVer == "1.0" || ResponseVer_ == "1.0") {
          if (proxy)
            CurProxyConnection_ = "Keep-alive";
          else
            CurConnection_ = "Keep-alive";
        }
        return true;
      case THttpNTLMState::ntlmMsg1: {
        std::optional<std::string> type3 = NtlmType3Value(*ntlmLine, user, pass, NtlmWorkstationName());
        if (!type3) {
          ntlm = THttpNTLMState::ntlmNone;  // a challenge that cannot be read ends the exchange
          return false;
        }
        ntlmValue = *type3;
        ntlm = THttpNTLMState::ntlmMsg3;
        return true;
      }
      case THttpNTLMState::ntlmMsg3:
        ntlm = THttpNTLMState::ntlmNone;  // the answer was refused
        return false;
      default:
        throw EHttpException(ntlmMessage, 6);
    }
  }
  if (!(Options & htoNoBasicAuth) && basicOffered &&
      (ntlm == THttpNTLMState::ntlmNone || ntlm == THttpNTLMState::ntlmDone)) {
    switch (basic) {
      case THttpBasicState::basicNone:
        basic = THttpBasicState::basicMsgSent;
        return true;
      case THttpBasicState::basicMsgSent:
        return false;  // answered once; refused again
      default:
        throw EHttpException(basicMessage, 6);
    }
  }
  return false;
}

// --- abort and the waiting GET -------------------------------------------

void THttpTransport::AbortRequest() {
  if (Busy() || !RequestDoneFired_) {
    const std::uint64_t gen = Generation_;
    std::shared_ptr<bool> alive = alive_;
    ChangeState(THttpState::hsAborting);
    RestartPending_ = false;
    LocationFlag_ = false;
    CtrlSocket_->CancelDnsLookup();
    StatusCode_ = 404;
    ReasonPhrase_ = "Connection aborted on request";
    RequestDoneError_ = kHttpErrAborted;
    CtrlSocket_->Abort();  // the session-closed handling runs now (OnDocEnd, OnSessionClosed)
    if (!*alive || gen != Generation_) return;
    ChangeState(THttpState::hsReady);
    SetReady();
    return;
  }
  if (CtrlSocket_->State() != TSocketState::ssClosed) {
    IgnoreSocketClose_ = true;
    CtrlSocket_->Close();
    IgnoreSocketClose_ = false;
  }
  StatusCode_ = 200;
  ReasonPhrase_ = "OK";
  RequestDoneError_ = 0;
  if (OnRequestDone) OnRequestDone(*this, RequestType_, 0);
}

void THttpTransport::GetAndWait() {
  StartGet();
  const std::uint64_t gen = Generation_;
  std::shared_ptr<bool> alive = alive_;
  while (*alive && gen == Generation_ && !RequestDoneFired_) {
    if (MultiThreaded) {
      loop_.ProcessPending();
      std::this_thread::yield();
    } else {
      loop_.WaitAndProcess(1000);
    }
    if (!*alive) return;
    if (loop_.Terminated()) {
      AbortRequest();
      break;
    }
  }
  if (StatusCode_ > 399 && StatusCode_ != 401 && StatusCode_ != 407)
    throw EHttpException(ReasonPhrase_, static_cast<std::uint16_t>(StatusCode_));
}

void THttpTransport::BandwidthTick() {
  BandwidthCount_ = std::max<std::int64_t>(0, BandwidthCount_ - BandwidthMaxCount_);
  if (BandwidthPaused_ && BandwidthCount_ <= BandwidthMaxCount_) {
    BandwidthPaused_ = false;
    CtrlSocket_->ResumeNotifications();
  }
}

}  // namespace net
