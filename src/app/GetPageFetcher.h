// Fetches one page for velmora-get with the HTTP transport, through the same
// proxy and with the same request header as the downloads, into memory. A
// page fails on a network error, a final status of 400 or above, a body cut
// short, no progress for the stall time-out, or a body above kMaxPageBytes
// (a file given without --direct is not loaded into memory whole). One fetch
// at a time; the loop must run (RunUntil(Done)) for it to progress.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/HttpTransport.h"
#include "net/Stream.h"
#include "platform/EventLoop.h"

namespace app {

inline constexpr std::int64_t kMaxPageBytes = 16 * 1024 * 1024;

class GetPageFetcher {
 public:
  GetPageFetcher(platform::EventLoop& loop, int stallMs);
  ~GetPageFetcher();
  GetPageFetcher(const GetPageFetcher&) = delete;
  GetPageFetcher& operator=(const GetPageFetcher&) = delete;

  void SetProxy(const std::string& host, const std::string& port, const std::string& user,
                const std::string& password);
  void SetServerCredentials(const std::string& user, const std::string& password);

  // Starts fetching `address`; Done() turns true when it has ended.
  void Start(const std::string& address);
  bool Done() const { return done_; }

  // After Done():
  bool Succeeded() const { return error_.empty(); }
  // The error-log line of a failed fetch ("Error: ... - address").
  const std::string& Error() const { return error_; }
  // The address the page came from, after relocations.
  const std::string& FinalAddress() const { return finalAddress_; }
  // The page's lines, without their line ends.
  std::vector<std::string> Lines() const;

 private:
  void RestartStall();
  void StallTick();
  void RequestDone(std::uint16_t error);
  void Finish(std::string error);

  net::THttpTransport http_;
  net::TMemoryStream body_;
  platform::Timer stall_;
  std::string address_;
  std::string finalAddress_;
  std::string error_;
  std::int64_t bodyBytes_ = 0;
  bool active_ = false;
  bool done_ = false;
  bool timedOut_ = false;
  bool tooLarge_ = false;
};

}  // namespace app
