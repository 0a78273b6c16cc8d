#include "app/GetPageFetcher.h"

#include <exception>

#include "net/BrowserHeaders.h"

namespace app {

GetPageFetcher::GetPageFetcher(platform::EventLoop& loop, int stallMs)
    : http_(loop), stall_(loop, stallMs, [this] { StallTick(); }) {
  http_.Agent = net::kBrowserAgent;
  http_.Accept = net::kBrowserAccept;
  http_.AcceptLanguage = net::kBrowserAcceptLanguage;
  http_.ProxyPort = "80";
  http_.FollowRelocation = true;
  http_.LocationChangeMaxCount = 5;
  http_.OnSessionConnected = [this](net::THttpTransport&, std::uint16_t) { RestartStall(); };
  http_.OnHeaderBegin = [this](net::THttpTransport&) { RestartStall(); };
  http_.OnDocBegin = [this](net::THttpTransport&) {
    RestartStall();
    bodyBytes_ = 0;  // a relocation's own body is cut off again
  };
  http_.OnDocData = [this](net::THttpTransport&, const char*, std::size_t len) {
    RestartStall();
    bodyBytes_ += static_cast<std::int64_t>(len);
    if (bodyBytes_ > kMaxPageBytes && active_ && !tooLarge_) {
      tooLarge_ = true;
      http_.AbortRequest();
    }
  };
  http_.OnRequestDone = [this](net::THttpTransport&, net::THttpRequestKind, std::uint16_t error) {
    RequestDone(error);
  };
}

GetPageFetcher::~GetPageFetcher() {
  active_ = false;
  stall_.SetEnabled(false);
  http_.RcvdStream = nullptr;
  http_.AbortRequest();
}

void GetPageFetcher::SetProxy(const std::string& host, const std::string& port, const std::string& user,
                              const std::string& password) {
  http_.Proxy = host;
  http_.ProxyPort = port;
  http_.ProxyUsername = user;
  http_.ProxyPassword = password;
}

void GetPageFetcher::SetServerCredentials(const std::string& user, const std::string& password) {
  http_.Username = user;
  http_.Password = password;
}

void GetPageFetcher::Start(const std::string& address) {
  address_ = address;
  finalAddress_ = address;
  error_.clear();
  body_ = net::TMemoryStream();
  bodyBytes_ = 0;
  done_ = false;
  timedOut_ = false;
  tooLarge_ = false;
  active_ = true;
  http_.URL = address;
  http_.RcvdStream = &body_;
  RestartStall();
  try {
    http_.StartGet();
  } catch (const std::exception& e) {
    Finish("Error: " + std::string(e.what()) + " - " + address);
  }
}

void GetPageFetcher::RestartStall() {
  if (!active_) return;
  stall_.SetEnabled(false);
  stall_.SetEnabled(true);
}

void GetPageFetcher::StallTick() {
  if (!active_) return;
  timedOut_ = true;
  stall_.SetEnabled(false);
  http_.AbortRequest();
}

void GetPageFetcher::RequestDone(std::uint16_t error) {
  if (!active_) return;
  finalAddress_ = http_.URL;
  const int status = http_.StatusCode();
  if (timedOut_) {
    Finish("Error: Timed out - " + address_);
  } else if (tooLarge_) {
    Finish("Error: Page larger than " + std::to_string(kMaxPageBytes / (1024 * 1024)) + " MB - " + address_);
  } else if (error == net::kHttpErrBodyIncomplete) {
    Finish("Error: Incomplete download - " + address_);
  } else if (error != 0) {
    Finish("Error: " + http_.ReasonPhrase() + " - " + address_);
  } else if (status >= 400) {
    Finish("Error: HTTP " + std::to_string(status) + " " + http_.ReasonPhrase() + " - " + address_);
  } else if (status >= 300 && status < 400 && !http_.Location().empty()) {
    Finish("Error: Too many relocations - " + address_);
  } else {
    Finish({});
  }
}

void GetPageFetcher::Finish(std::string error) {
  stall_.SetEnabled(false);
  http_.RcvdStream = nullptr;
  active_ = false;
  error_ = std::move(error);
  done_ = true;
}

std::vector<std::string> GetPageFetcher::Lines() const {
  std::vector<std::string> lines;
  const std::string text = body_.Text();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace app
