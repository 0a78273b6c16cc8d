// THttpClient: one download slot. It downloads one queue entry at a time into
// OutputDir/<site folder>/<file name>, writing a ".$$$" file that is renamed
// when the transfer has ended well, and reports to the observer: status
// Connected per connection, Transferring, then time left, speed and progress
// per fragment, and exactly one Finished or Failed per transfer. A transfer
// without body data for the stall time-out (30 s) is aborted. Loop thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "download/DownloadNotifications.h"
#include "download/DownloadTarget.h"
#include "net/HttpTransport.h"
#include "net/Stream.h"

namespace platform {
class EventLoop;
class Timer;
}  // namespace platform

namespace download {

// Idle: free for the manager. Assigned: given an entry, not yet receiving.
// Transferring: the body is arriving.
enum class TClientState { Idle, Assigned, Transferring };

// Duplicate-file policies (the OverwriteExistingFile setting).
enum class TDuplicatePolicy : std::uint8_t { RenameNewFile = 0, OverwriteExistingFile = 1, DontDownload = 2 };

struct TClientTimeouts {
  int StallMs = 30000;  // no session event or data for this long: abort
};

class THttpClient;

// What a client reports through its manager.
class TDownloadReporter {
 public:
  virtual ~TDownloadReporter() = default;
  virtual void NotifyError(std::string_view text) = 0;
  virtual void NotifyFolderCreated() = 0;
  // The client has returned to Idle after a transfer.
  virtual void ClientBecameIdle(THttpClient& client) = 0;
};

class THttpClient {
 public:
  THttpClient(platform::EventLoop& loop, int slot, std::string outputDir, TDownloadObserver& observer,
              TDownloadReporter& reporter, std::uint8_t duplicatePolicy, bool bandwidthThrottling, int bandwidth,
              TClientTimeouts timeouts = {});
  ~THttpClient();
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  void SetProxy(const std::string& host, const std::string& port, const std::string& user,
                const std::string& password);
  void SetServerCredentials(const std::string& user, const std::string& password);

  // Starts a transfer of `entry` ("name,address"); false when it could not
  // start (the Failed status has then been sent, or follows by time-out).
  bool StartDownload(const std::string& entry);
  // Ends the transfer in progress as failed (status Failed in any case).
  void AbortDownload();

  TClientState State() const { return State_; }
  void SetState(TClientState state) { State_ = state; }
  int Slot() const { return Slot_; }
  const std::string& TargetPath() const { return Target.TargetPath; }
  const std::string& TempPath() const { return Target.TempPath; }
  net::THttpTransport& Http() { return *Http_; }

 private:
  bool PrepareTarget(const std::string& entry);
  bool CreateTempFile();
  // The ".$$$" file is held with exclusive access while it is written, so
  // that no other slot (or program) deletes, truncates or renames it.
  void HoldTempFile();
  void CloseTempFile();
  // The one end of a transfer: closes the file, renames it when `ok`, sends
  // the status and returns to Idle.
  void EndTransfer(bool ok);
  // A response that only leads to another request (a relocation followed, or
  // an authentication challenge) never reaches the file's name or progress.
  bool IsInterimResponse() const;

  void HttpSessionConnected(std::uint16_t error);
  void HttpHeaderBegin();
  void HttpDocBegin();
  void HttpDocData(const char* buffer, std::size_t len);
  void HttpDocEnd();
  void HttpRequestDone(std::uint16_t error);
  void TimeoutTimerTick();
  void RestartTimeout();

  std::unique_ptr<net::TFileStream> FileStream;
  int TempHoldFd = -1;  // the lock on FileStream's file
  std::unique_ptr<platform::Timer> TimeoutTimer;
  bool Destroying = false;
  bool Aborted = false;
  TDuplicatePolicy DuplicatePolicy;
  TDownloadObserver& Observer;
  TDownloadReporter& Reporter;
  std::int64_t StartTick = 0;
  std::string OutputDir;
  std::int64_t ExpectedLength = -1;
  std::int64_t ReceivedBytes = 0;
  TDownloadTarget Target;
  TClientState State_ = TClientState::Idle;
  int Slot_;
  std::unique_ptr<net::THttpTransport> Http_;

  std::string Entry;             // the entry of the transfer in progress
  bool InTransfer = false;       // between StartDownload and its one end report
  bool DocIsInterim = false;     // the document now arriving is not the final one
  bool FinalDocStarted = false;  // the final document's body began
  std::int64_t StartPosition = 0;  // FileStream's position when the final body began
};

}  // namespace download
