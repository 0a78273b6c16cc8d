// TFileDownloader: fetches one address into one local file with the
// transport's waiting GET, never through a proxy, and reports each body
// fragment to a progress callback. A download without body data for the
// inactivity time-out (15 s; from the start until the body begins, and again
// from each fragment) is aborted and fails.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/HttpTransport.h"
#include "net/Stream.h"

namespace platform {
class Dialogs;
class EventLoop;
class Timer;
}  // namespace platform

namespace updater {

struct TFileDownloaderTimeouts {
  int InactivityMs = 15000;
};

class TFileDownloader {
 public:
  // (expected size, -1 when unknown; bytes received so far)
  using ProgressCallback = std::function<void(std::int64_t expected, std::int64_t received)>;

  // Creates (or empties) `localFile`. When that fails the message box
  // "Unable to create local file." is shown and Download fails.
  TFileDownloader(platform::EventLoop& loop, platform::Dialogs& dialogs, const std::string& address,
                  const std::string& localFile, TFileDownloaderTimeouts timeouts = {});
  ~TFileDownloader();
  TFileDownloader(const TFileDownloader&) = delete;
  TFileDownloader& operator=(const TFileDownloader&) = delete;

  // Runs the waiting GET. True when the document ended normally with a status
  // below 400 (not a relocation left unfollowed) and was written whole. A
  // final status above 399 (other than 401 and 407), a timed-out download and
  // one whose data the disk refused raise net::EHttpException, as the waiting
  // GET does for an aborted request.
  bool Download(ProgressCallback callback);

  bool HasLocalFile() const { return LocalFile != nullptr; }
  net::THttpTransport& Http() { return *Client; }

 private:
  void DocBegin();
  void DocData(std::size_t len);
  void DocEnd();
  void TimerExpired();

  std::unique_ptr<net::TFileStream> LocalFile;
  std::unique_ptr<platform::Timer> InactivityTimer;
  std::unique_ptr<net::THttpTransport> Client;
  std::uint64_t StartTick = 0;
  std::int64_t Received = 0;
  std::int64_t ExpectedSize = -1;
  std::int64_t StartPosition = 0;  // of the local file when the document began
  bool Done = false;
  bool WriteFailed = false;
  ProgressCallback Callback;
};

}  // namespace updater
