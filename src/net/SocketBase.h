// TSocketBase: the asynchronous IPv4 TCP client socket beneath the HTTP
// transport. Nothing blocks: DnsLookup, Connect, Send and Close return at once
// and their outcome arrives as events on the loop's thread, in this order on
// the usual path: OnDnsLookupDone, OnChangeState (ssClosed->ssOpened->
// ssConnecting), OnSessionConnected, OnDataSent (nothing sent yet), OnDataSent
// after each Send once the chain is empty, OnDataAvailable while unread data
// remains, and OnSessionClosed exactly once per connection.
//
// Readiness reaches the socket as message kMsgAsyncSelect on its
// NotificationWindow (the descriptor watch turns poll() results into such
// notifications): wparam is the connection's handle, lparam the event bits
// with the error number in its high 16 bits. A notification for an earlier
// handle, or one arriving while notifications are paused, changes nothing.
//
// Errors: operations report a function name (SocketError) or a plain message
// (ReportError); OnError gets it when assigned, else ESocketException is
// raised. Errors are Winsock numbers (platform/WinsockErrors.h).
// Not provided: listening, accepting, UDP, raw sockets, IPv6.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/Buffer.h"
#include "platform/EventLoop.h"
#include "platform/NameResolver.h"

namespace net {

// Socket states; the client path is ssClosed -> ssOpened -> ssConnecting ->
// ssConnected -> ssClosed.
enum class TSocketState {
  ssInvalidState,
  ssOpened,          // handle made, not yet connecting
  ssBound,
  ssConnecting,      // non-blocking connect under way
  ssSocksConnected,
  ssConnected,       // data may flow
  ssAccepting,
  ssListening,
  ssClosed,          // no handle; the start state
};

enum TSocketOption : unsigned {
  soNoReceiveLoop = 1,  // one OnDataAvailable per notification
  soTcpNoDelay = 2,     // switch delayed sending off
  soReceiveAll = 4,
};

enum class TSocketSendFlags { sfSendNormal, sfSendUrgent };
enum class TSocketLingerOnOff { lgLingerOff, lgLingerOn, lgLingerNoSet };
enum class TSocketKeepAliveOnOff { kaKeepAliveOff, kaKeepAliveOnCustom, kaKeepAliveOnSystem };

// Messages of the notification window.
constexpr std::uint32_t kMsgAsyncSelect = 1025;
constexpr std::uint32_t kMsgAsyncGetHostByName = 1026;
constexpr std::uint32_t kMsgAsyncGetHostByAddr = 1027;
constexpr std::uint32_t kMsgCloseDelayed = 1028;
constexpr std::uint32_t kMsgRelease = 1029;

// Event bits of a readiness notification.
constexpr unsigned FD_READ = 0x01;
constexpr unsigned FD_WRITE = 0x02;
constexpr unsigned FD_OOB = 0x04;
constexpr unsigned FD_ACCEPT = 0x08;
constexpr unsigned FD_CONNECT = 0x10;
constexpr unsigned FD_CLOSE = 0x20;

// lparam of a readiness notification.
inline std::intptr_t MakeSelectReply(unsigned events, int error) {
  return static_cast<std::intptr_t>((static_cast<unsigned>(error & 0xFFFF) << 16) | (events & 0xFFFF));
}

class TSocketBase {
 public:
  using ErrorEvent = std::function<void(TSocketBase& sender, std::uint16_t errCode)>;

  explicit TSocketBase(platform::EventLoop& loop);
  virtual ~TSocketBase();
  TSocketBase(const TSocketBase&) = delete;
  TSocketBase& operator=(const TSocketBase&) = delete;

  // --- events ---
  ErrorEvent OnDnsLookupDone;
  ErrorEvent OnSessionConnected;
  ErrorEvent OnDataAvailable;
  ErrorEvent OnDataSent;
  ErrorEvent OnSessionClosed;
  std::function<void(TSocketBase& sender, std::int32_t bytesSent)> OnSendData;
  std::function<void(TSocketBase& sender, TSocketState oldState, TSocketState newState)> OnChangeState;
  std::function<void(TSocketBase& sender)> OnError;
  std::function<void(TSocketBase& sender, const std::exception& e, bool& canClose)> OnBackgroundException;
  // Optional activity log; nothing in the program attaches one.
  std::function<void(const std::string& line)> Logger;

  // --- properties ---
  const std::string& Addr() const { return Addr_; }
  void SetAddr(const std::string& value);
  const std::string& Port() const { return Port_; }
  void SetPort(const std::string& value);
  const std::string& Proto() const { return Proto_; }
  void SetProto(const std::string& value);
  const std::string& LocalAddr() const { return LocalAddr_; }
  void SetLocalAddr(const std::string& value);
  const std::string& LocalPort() const { return LocalPort_; }
  void SetLocalPort(const std::string& value);
  TSocketState State() const { return State_; }
  int LastError() const { return LastError_; }
  const std::string& DnsResult() const { return DnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return DnsResultList_; }
  std::int64_t ReadCount() const { return ReadCount_; }
  bool MultiThreaded() const { return MultiThreaded_; }
  void SetMultiThreaded(bool value) { MultiThreaded_ = value; }
  unsigned ComponentOptions() const { return ComponentOptions_; }
  void SetComponentOptions(unsigned value) { ComponentOptions_ = value; }
  TSocketSendFlags SendFlags() const { return SendFlags_; }
  void SetSendFlags(int value);  // a TSocketSendFlags value, else "Invalid SendFlags"
  TSocketLingerOnOff LingerOnOff() const { return LingerOnOff_; }
  void SetLingerOnOff(TSocketLingerOnOff value) { LingerOnOff_ = value; }
  int LingerTimeout() const { return LingerTimeout_; }
  void SetLingerTimeout(int value) { LingerTimeout_ = value; }
  TSocketKeepAliveOnOff KeepAliveOnOff() const { return KeepAliveOnOff_; }
  void SetKeepAliveOnOff(TSocketKeepAliveOnOff value) { KeepAliveOnOff_ = value; }
  int KeepAliveTime() const { return KeepAliveTime_; }
  void SetKeepAliveTime(int ms) { KeepAliveTime_ = ms; }
  int KeepAliveInterval() const { return KeepAliveInterval_; }
  void SetKeepAliveInterval(int ms) { KeepAliveInterval_ = ms; }

  // Unsent bytes in the chain, whether the chain is empty, and the size of
  // every chunk the socket makes (1460).
  std::int64_t BufferedByteCount() const { return BufferedByteCount_; }
  bool AllSent() const { return AllSent_; }
  std::int32_t ChunkSize() const { return ChunkSize_; }
  // The handle of the current connection (0: none). Handles are never reused,
  // so a notification for an earlier connection can be told apart.
  std::uint64_t Handle() const { return Handle_; }
  bool NotificationsPaused() const { return NotificationsPaused_; }
  platform::MessageTarget& NotificationWindow() { return *NotificationWindow_; }
  platform::EventLoop& Loop() const { return loop_; }

  // --- operations ---
  void DnsLookup(const std::string& hostName);
  void CancelDnsLookup();
  virtual void Connect();
  // Accepts the bytes into the send chain; returns `len`, or -1 when not
  // connected.
  int Send(const void* data, int len);
  // Up to `size` bytes; the number read, 0 at the end of the stream, -1 on
  // error (LastError set; 10035 when nothing is waiting).
  int Receive(void* buffer, int size);
  void PauseNotifications();
  void ResumeNotifications();
  void Close();
  void Abort();
  void CloseLater();

 protected:
  // Event triggers; the pass-through layers override what they change.
  virtual void TriggerDnsLookupDone(int error);
  virtual void TriggerSessionConnected(int error);
  // False when no OnDataAvailable handler is assigned.
  virtual bool TriggerDataAvailable(int error);
  virtual void TriggerDataSent(int error);
  virtual void TriggerSessionClosed(int error);
  // Per-connection fields back to their start values.
  virtual void ResetConnectionFields();

  // SocketError(name): "Error n in function name" + CR LF + the Winsock text of
  // the current error; ReportError(text): OnError or ESocketException.
  void SocketError(const std::string& functionName);
  void ReportError(const std::string& text);
  // The guard of the connection properties: true while closed, otherwise
  // "Cannot change <property> if not closed" is reported.
  // Drops the handle (gracefully or with a reset), then reports the close
  // once, unless the socket is being destroyed.
  void CloseHandle(bool graceful);
  bool ChangeAllowed(const char* property);
  void SetCurrentError(int error) { CurrentError_ = error; }
  void Log(const std::string& line);
  bool Destroying() const { return Destroying_; }

 private:
  class Window;
  friend class Window;

  void HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);
  void HandleReadiness(std::uint64_t handle, unsigned events, int error);
  void OnDescriptorReady(bool readable, bool writable);
  void ReceiveLoop(int error, bool forced);
  void TryToSend();
  void ChangeState(TSocketState newState);
  void UpdateWatch();
  bool ChainHasData() const;
  // Closes the descriptor; false (after reporting) when closing failed.
  bool DropHandle(bool shutdownFirst);
  void RunGuarded(const std::function<void()>& body);

  platform::EventLoop& loop_;
  std::unique_ptr<platform::MessageTarget> NotificationWindow_;
  platform::NameResolver resolver_;
  std::unique_ptr<platform::FdWatch> watch_;
  std::shared_ptr<bool> alive_;

  std::string Addr_;
  std::string Port_;
  std::string Proto_ = "tcp";
  std::string LocalAddr_ = "0.0.0.0";
  std::string LocalPort_ = "0";
  bool AddrAssigned_ = false;
  bool PortAssigned_ = false;
  TSocketState State_ = TSocketState::ssClosed;
  int LastError_ = 0;
  int CurrentError_ = 0;
  std::string DnsResult_;
  std::vector<std::string> DnsResultList_;
  std::int64_t ReadCount_ = 0;
  bool MultiThreaded_ = false;
  unsigned ComponentOptions_ = 0;
  TSocketSendFlags SendFlags_ = TSocketSendFlags::sfSendNormal;
  TSocketLingerOnOff LingerOnOff_ = TSocketLingerOnOff::lgLingerOn;
  int LingerTimeout_ = 0;
  TSocketKeepAliveOnOff KeepAliveOnOff_ = TSocketKeepAliveOnOff::kaKeepAliveOnSystem;
  int KeepAliveTime_ = 30000;
  int KeepAliveInterval_ = 1000;

  int fd_ = -1;
  std::uint64_t Handle_ = 0;
  std::deque<std::unique_ptr<TBuffer>> SendChain_;
  std::int32_t ChunkSize_ = 1460;
  std::int64_t BufferedByteCount_ = 0;
  bool AllSent_ = true;
  bool CloseReported_ = false;
  bool NotificationsPaused_ = false;
  bool Destroying_ = false;
  platform::NameResolver::Handle LookupHandle_ = 0;
  int SndBufSize_ = 0;
  int RcvBufSize_ = 0;
};

}  // namespace net
