// THttpTransport: the HTTP/1.0 and 1.1 client component. One object performs
// one request at a time over the TAsyncSocket it owns: it parses URL, connects
// directly or through a proxy, writes the request header, reads the response
// header, follows relocations, answers Basic and NTLM challenges of the server
// and of the proxy, and hands the body (through the content-coding handler) to
// the receive stream and to OnDocData. Nothing blocks except GetAndWait, which
// runs the loop while it waits.
//
// Events, in the order of a plain GET answered with a length-delimited body
// and a close: OnSessionConnected, the request header events, OnHeaderBegin,
// OnHeaderData per line, OnHeaderEnd, OnDocBegin, OnDocData per fragment,
// OnDocEnd, OnSessionClosed, OnRequestDone. Becoming ready and OnRequestDone
// come from messages the component posts to itself (kMsgHttpRequestDone,
// kMsgHttpSetReady, kMsgHttpStartRequest), after the current event returns.
//
// OnRequestDone's error: 0 on success, kHttpErrAborted after AbortRequest,
// kHttpErrBodyIncomplete when the response ended before its header or body was
// complete (short of its Content-Length, chunks cut off or malformed), its
// header passed kMaxHeaderBytes, or the receive stream could not take the body
// (a full disk), otherwise the socket's
// or the name lookup's Winsock number. HTTP error statuses are told only
// through StatusCode() (GetAndWait raises for them).
// Only "http" is spoken; IPv4 only.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/AsyncSocket.h"
#include "net/ContentCodingHandler.h"
#include "net/HttpException.h"
#include "net/HttpResponseParser.h"
#include "net/Stream.h"
#include "platform/EventLoop.h"

namespace net {

enum class THttpRequestKind { rqAbort, rqGet, rqPost, rqPut, rqHead, rqClose };

// States of a request; busy whenever not hsReady.
enum class THttpState {
  hsReady,                // idle; a request may start
  hsNotConnected,         // a new connection is needed
  hsConnected,            // connected, request header not yet sent
  hsDnsLookup,            // resolving the host (or proxy) name
  hsDnsLookupDone,        // resolved; connecting
  hsWaitingHeader,        // request sent; reading the response header
  hsWaitingBody,          // reading the body
  hsBodyReceived,         // the whole body has arrived
  hsWaitingProxyConnect,  // CONNECT through a proxy (never with "http")
  hsClosing,              // a close request is under way
  hsAborting,             // AbortRequest is under way
};

enum THttpTransportOption : unsigned {
  htoNoBasicAuth = 1,
  htoNoNTLMAuth = 2,
  htoBandwidthControl = 4,
  htoEnableContentCoding = 8,
  htoUseQuality = 16,
};

// Basic exchange: nothing yet, credentials sent, accepted.
enum class THttpBasicState { basicNone, basicMsgSent, basicDone };
// NTLM exchange: nothing yet; type-1 message to send or sent; challenge
// received and type-3 message to send or sent; accepted.
enum class THttpNTLMState { ntlmNone, ntlmMsg1, ntlmMsg3, ntlmDone };

// Done-errors of our own.
constexpr int kHttpErrAborted = 3;
constexpr int kHttpErrBodyIncomplete = 4;
// A response header longer than this (its lines added up) ends the request
// with kHttpErrBodyIncomplete.
constexpr std::size_t kMaxHeaderBytes = 1 << 20;

// Messages the component posts to its own window.
constexpr std::uint32_t kMsgHttpRequestDone = 1025;
constexpr std::uint32_t kMsgHttpSetReady = 1026;
constexpr std::uint32_t kMsgHttpStartRequest = 1027;

class THttpTransport {
 public:
  using Event = std::function<void(THttpTransport& sender)>;
  using ErrorEvent = std::function<void(THttpTransport& sender, std::uint16_t errCode)>;
  using DataEvent = std::function<void(THttpTransport& sender, const char* buffer, std::size_t len)>;

  explicit THttpTransport(platform::EventLoop& loop);
  ~THttpTransport();
  THttpTransport(const THttpTransport&) = delete;
  THttpTransport& operator=(const THttpTransport&) = delete;

  // --- configuration (published properties, with their defaults) ---
  std::string Name = "HttpTransport";
  std::string URL;
  std::string Proxy;
  std::string ProxyPort = "80";
  std::string Username;
  std::string Password;
  std::string ProxyUsername;
  std::string ProxyPassword;
  std::string Agent;
  std::string Accept;
  std::string AcceptLanguage;
  std::string Sender;
  std::string Reference;
  std::string Connection;
  std::string ProxyConnection;
  bool NoCache = false;
  std::time_t ModifiedSince = 0;  // UTC; 0: not sent
  std::string Cookie;
  std::string ContentTypePost = "application/x-www-form-urlencoded";
  std::string ContentRangeBegin;
  std::string ContentRangeEnd;
  std::string RequestVer = "1.0";  // only "1.0" and "1.1"
  bool FollowRelocation = true;
  int LocationChangeMaxCount = 5;
  int BandwidthLimit = 10000;     // bytes per second, with htoBandwidthControl
  int BandwidthSampling = 1000;   // ms
  unsigned Options = 0;           // THttpTransportOption bits
  std::string LocalAddr = "0.0.0.0";
  std::string SocksServer;
  std::string SocksLevel = "5";
  std::string SocksPort;
  std::string SocksUsercode;
  std::string SocksPassword;
  TSocksAuthentication SocksAuthentication = TSocksAuthentication::saNoAuthentication;
  bool MultiThreaded = false;
  // Not owned. Body bytes go here (a refused or relocated response's bytes
  // are cut off again).
  TStream* RcvdStream = nullptr;
  TStream* SendStream = nullptr;

  // --- events ---
  std::function<void(THttpTransport& sender, int relocationCount, bool& allowMoreRelocations)> OnLocationChangeExceeded;
  std::function<void(THttpTransport& sender, const std::string& text)> OnTrace;
  ErrorEvent OnSessionConnected;
  ErrorEvent OnSessionClosed;
  Event OnHeaderData;
  std::function<void(THttpTransport& sender, std::string& line)> OnCommand;
  Event OnHeaderBegin;
  Event OnHeaderEnd;
  Event OnRequestHeaderBegin;
  Event OnRequestHeaderEnd;
  Event OnDocBegin;
  DataEvent OnDocData;
  Event OnDocEnd;
  Event OnSendBegin;
  DataEvent OnSendData;
  Event OnSendEnd;
  Event OnStateChange;
  std::function<void(THttpTransport& sender, THttpRequestKind rqType, std::uint16_t errCode)> OnRequestDone;
  Event OnLocationChange;
  std::function<void(THttpTransport& sender, const std::string& data, bool& accept)> OnCookie;
  Event OnDataPush;
  std::function<void(THttpTransport& sender, const std::string& line)> OnDataPush2;
  Event OnSocksConnected;
  Event OnSocksAuthState;
  ErrorEvent OnSocksError;
  Event OnSocketError;
  std::function<void(THttpTransport& sender, const std::string& method, std::vector<std::string>& headers)>
      OnBeforeHeaderSend;

  // --- requests ---
  void StartGet();
  void StartHead();
  void StartPost();
  void StartPut();
  void StartClose();
  // StartGet, then runs the loop until the request is done. Raises
  // EHttpException(reason, status) for a final status above 399 other than
  // 401 and 407.
  void GetAndWait();
  void AbortRequest();

  // --- state and response data ---
  THttpState State() const { return State_; }
  bool Busy() const { return State_ != THttpState::hsReady; }
  THttpRequestKind RequestType() const { return RequestType_; }
  int StatusCode() const { return StatusCode_; }
  const std::string& ReasonPhrase() const { return ReasonPhrase_; }
  const std::string& ResponseVer() const { return ResponseVer_; }
  const std::vector<std::string>& RcvdHeader() const { return RcvdHeader_; }
  const std::string& LastResponse() const { return LastResponse_; }  // the header line just read
  std::int64_t ContentLength() const { return ContentLength_; }
  const std::string& ContentType() const { return ContentType_; }
  const std::string& TransferEncoding() const { return TransferEncoding_; }
  const std::string& ContentEncoding() const { return ContentEncoding_; }
  const std::string& RcvdContentRangeBegin() const { return RcvdContentRangeBegin_; }
  const std::string& RcvdContentRangeEnd() const { return RcvdContentRangeEnd_; }
  const std::string& AcceptRanges() const { return AcceptRanges_; }
  const std::vector<std::string>& WWWAuthInfos() const { return WWWAuthInfos_; }
  const std::vector<std::string>& ProxyAuthInfos() const { return ProxyAuthInfos_; }
  const std::string& Location() const { return Location_; }
  bool CloseAfterResponse() const { return CloseAfterResponse_; }
  std::int64_t RcvdCount() const { return RcvdCount_; }
  const std::string& DocName() const { return DocName_; }
  int LocationChangeCurCount() const { return LocationChangeCurCount_; }
  int RequestDoneError() const { return RequestDoneError_; }
  const std::string& Hostname() const { return Hostname_; }   // of the request target
  const std::string& Port() const { return Port_; }
  const std::string& Path() const { return Path_; }           // request path as sent
  THttpBasicState AuthBasicState() const { return AuthBasicState_; }
  THttpBasicState ProxyAuthBasicState() const { return ProxyAuthBasicState_; }
  THttpNTLMState AuthNTLMState() const { return AuthNTLMState_; }
  THttpNTLMState ProxyAuthNTLMState() const { return ProxyAuthNTLMState_; }
  TAsyncSocket& CtrlSocket() { return *CtrlSocket_; }
  TCodingHandler& ContentCodingHandler() { return *ContentCodingHnd_; }

 private:
  class Window;
  friend class Window;

  void StartRequest(THttpRequestKind rq);
  void DoRequestAsync(THttpRequestKind rq);
  void ResetResponse();
  void ParseRequestUrl(const std::string& url);
  void ConnectOrSend();
  void SendRequest();
  void SendBody();
  void ChangeState(THttpState newState);
  void SetReady();
  void Trace(const std::string& text);

  // Socket events.
  void SocketDnsLookupDone(int error);
  void SocketSessionConnected(int error);
  void SocketDataAvailable(int error);
  void SocketSessionClosed(int error);
  void SocketError();

  // Receiving.
  void ProcessBytes(const char* data, std::size_t len);
  void ProcessHeaderLine(std::string& line, bool hadCR);
  void HeaderEnded();
  // Consumes body bytes; returns how many were taken.
  std::size_t ProcessBody(const char* data, std::size_t len);
  void DeliverBody(const char* data, std::size_t len);
  // Ends the body as a failure (kHttpErrBodyIncomplete) and closes.
  void FailBody();
  void BodyComplete();
  void EndOfResponse();

  // Relocation.
  // Counts one relocation step; true (and the relocation dropped) when the
  // count passes the limit and OnLocationChangeExceeded does not lift it.
  bool CountRelocation();
  void StartRelocation();
  void RelocationAfterClose();
  void Restart();

  // Posted messages.
  void HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
  void OnSetReady();
  bool AnswerChallenge();
  bool AnswerAuth(bool proxy);
  void CutBackStreams();
  void PostRestart();

  void BandwidthTick();

  platform::EventLoop& loop_;
  std::unique_ptr<Window> Window_;
  std::unique_ptr<TAsyncSocket> CtrlSocket_;
  std::unique_ptr<TCodingHandler> ContentCodingHnd_;
  std::unique_ptr<platform::Timer> BandwidthTimer_;
  std::shared_ptr<bool> alive_;

  THttpState State_ = THttpState::hsReady;
  THttpRequestKind RequestType_ = THttpRequestKind::rqGet;
  std::uint64_t Generation_ = 0;  // one per request start; stale posts are dropped
  bool ReadyPosted_ = false;
  bool RequestDoneFired_ = true;
  bool IgnoreSocketClose_ = false;
  bool RestartPending_ = false;
  bool RestartIsRelocation_ = false;

  // This request.
  std::string CurUsername_, CurPassword_, CurConnection_, CurProxyConnection_;
  std::string Target_;    // the absolute or given URL of the current request
  std::string Proto_;     // of the target
  std::string Hostname_;  // of the target
  std::string Port_;      // of the target, "80" when none
  std::string UrlPath_;   // the target's own path (for relative locations)
  std::string Path_;      // request path (absolute with a proxy)
  std::string ConnHost_, ConnPort_;          // where the socket goes
  std::string ConnectedHost_, ConnectedPort_, ConnectedProto_;  // for reuse

  // Response.
  int StatusCode_ = 0;
  std::string ReasonPhrase_;
  std::string ResponseVer_;
  std::vector<std::string> RcvdHeader_;
  std::string LastResponse_;
  std::int64_t ContentLength_ = -1;
  std::string ContentType_, TransferEncoding_, ContentEncoding_;
  std::string RcvdContentRangeBegin_, RcvdContentRangeEnd_;
  std::string AcceptRanges_;
  std::vector<std::string> WWWAuthInfos_, ProxyAuthInfos_;
  std::string Location_;
  bool CloseAfterResponse_ = false;
  bool LocationFlag_ = false;  // a relocation is pending
  std::int64_t RcvdCount_ = 0;
  std::string DocName_;
  int LocationChangeCurCount_ = 0;
  int RequestDoneError_ = 0;
  bool HeaderStarted_ = false;  // OnHeaderBegin fired for this response
  bool StatusLineSeen_ = false;
  bool HeaderDone_ = false;
  bool DocStarted_ = false;
  bool DocEnded_ = false;
  bool ChunkedBody_ = false;
  std::int64_t StreamStartSize_ = -1;  // receive stream size when the body began
  bool StreamWriteFailed_ = false;     // the receive stream took fewer bytes than given
  std::size_t RcvdHeaderBytes_ = 0;    // header lines of this response, line ends counted
  bool HeaderTooLarge_ = false;        // over kMaxHeaderBytes: the response is dropped
  THttpLineBuffer LineBuffer_;
  THttpChunkDecoder ChunkDecoder_;
  std::vector<char> ReceiveBuffer_;

  // Authentication.
  THttpBasicState AuthBasicState_ = THttpBasicState::basicNone;
  THttpBasicState ProxyAuthBasicState_ = THttpBasicState::basicNone;
  THttpNTLMState AuthNTLMState_ = THttpNTLMState::ntlmNone;
  THttpNTLMState ProxyAuthNTLMState_ = THttpNTLMState::ntlmNone;
  std::string AuthNTLMValue_, ProxyAuthNTLMValue_;  // the NTLM value to send next

  // Bandwidth control.
  std::int64_t BandwidthCount_ = 0;
  std::int64_t BandwidthMaxCount_ = 0;
  bool BandwidthPaused_ = false;
};

}  // namespace net
