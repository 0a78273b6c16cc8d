// The scriptable HTTP test server.
#include "support/TestHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace testsupport {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string TrimmedValue(const std::string& line, std::size_t colon) {
  std::size_t b = colon + 1;
  while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
  std::size_t e = line.size();
  while (e > b && (line[e - 1] == ' ' || line[e - 1] == '\t')) --e;
  return line.substr(b, e - b);
}

}  // namespace

// --- RecordedRequest -----------------------------------------------------

std::string RecordedRequest::Header(const std::string& name) const {
  const std::string wanted = Lower(name);
  for (const auto& line : headers) {
    auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (Lower(line.substr(0, colon)) == wanted) return TrimmedValue(line, colon);
  }
  return "";
}

bool RecordedRequest::HasHeader(const std::string& name) const {
  const std::string wanted = Lower(name);
  for (const auto& line : headers) {
    auto colon = line.find(':');
    if (colon != std::string::npos && Lower(line.substr(0, colon)) == wanted) return true;
  }
  return false;
}

// --- Reply ---------------------------------------------------------------

Reply Reply::Response(const std::string& statusLine, const std::vector<std::string>& headers, const std::string& body) {
  std::string bytes = statusLine + "\r\n";
  for (const auto& h : headers) bytes += h + "\r\n";
  bytes += "\r\n" + body;
  return Bytes(bytes);
}

Reply Reply::Bytes(const std::string& bytes) {
  Reply r;
  r.Send(bytes);
  return r;
}

Reply& Reply::Send(const std::string& bytes) {
  steps_.push_back({Step::kSend, bytes, 0});
  return *this;
}

Reply& Reply::SendInPieces(const std::string& bytes, std::size_t pieceSize, int delayMs) {
  if (pieceSize == 0) pieceSize = 1;
  for (std::size_t i = 0; i < bytes.size(); i += pieceSize) {
    if (i) Delay(delayMs);
    Send(bytes.substr(i, pieceSize));
  }
  return *this;
}

Reply& Reply::SendSplit(const std::string& bytes, const std::vector<std::size_t>& sizes, int delayMs) {
  std::size_t at = 0;
  for (std::size_t size : sizes) {
    if (at >= bytes.size()) break;
    if (at) Delay(delayMs);
    Send(bytes.substr(at, size));
    at += size;
  }
  if (at < bytes.size()) {
    if (at) Delay(delayMs);
    Send(bytes.substr(at));
  }
  return *this;
}

Reply& Reply::Delay(int ms) {
  steps_.push_back({Step::kDelay, {}, ms});
  return *this;
}

Reply& Reply::Stall() {
  steps_.push_back({Step::kStall, {}, 0});
  return *this;
}

Reply& Reply::Close() {
  steps_.push_back({Step::kClose, {}, 0});
  return *this;
}

Reply& Reply::Reset() {
  steps_.push_back({Step::kReset, {}, 0});
  return *this;
}

Reply& Reply::KeepAlive() {
  keepAlive_ = true;
  return *this;
}

// --- TestHttpServer ------------------------------------------------------

TestHttpServer::TestHttpServer() {
  if (pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket failed");
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 64) != 0)
    throw std::runtime_error("bind/listen failed");
  socklen_t len = sizeof addr;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
  stopping_ = true;
  char c = 'x';
  ssize_t w = ::write(stopPipe_[1], &c, 1);
  (void)w;
  if (acceptThread_.joinable()) acceptThread_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(connectionThreads_);
  }
  for (auto& t : threads)
    if (t.joinable()) t.join();
  if (listenFd_ >= 0) ::close(listenFd_);
  ::close(stopPipe_[0]);
  ::close(stopPipe_[1]);
}

std::string TestHttpServer::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::string TestHttpServer::Url(const std::string& path) const { return "http://" + HostPort() + path; }

void TestHttpServer::AddReply(Reply reply) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(reply));
}

void TestHttpServer::SetHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

std::vector<RecordedRequest> TestHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t TestHttpServer::RequestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

bool TestHttpServer::WaitReadable(int fd, int timeoutMs) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
  for (;;) {
    int r = ::poll(fds, 2, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    if (fds[1].revents) return false;
    return fds[0].revents != 0;
  }
}

bool TestHttpServer::SleepMs(int ms) {
  pollfd fd{stopPipe_[0], POLLIN, 0};
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0) return !stopping_;
    int r = ::poll(&fd, 1, static_cast<int>(left));
    if (r > 0) return false;
  }
}

bool TestHttpServer::SendAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void TestHttpServer::AcceptLoop() {
  for (;;) {
    if (!WaitReadable(listenFd_, -1)) return;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopping_) return;
      continue;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    int number = ++connections_;
    std::lock_guard lock(mutex_);
    connectionThreads_.emplace_back([this, fd, number] { Serve(fd, number); });
  }
}

bool TestHttpServer::ReadRequest(int fd, std::string& pending, RecordedRequest& out) {
  auto readMore = [&]() -> bool {
    if (!WaitReadable(fd, -1)) return false;
    char buf[4096];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    pending.append(buf, static_cast<std::size_t>(n));
    return true;
  };
  std::size_t end;
  while ((end = pending.find("\r\n\r\n")) == std::string::npos)
    if (!readMore()) return false;
  std::string head = pending.substr(0, end);
  std::size_t pos = 0;
  bool first = true;
  while (pos <= head.size()) {
    std::size_t eol = head.find("\r\n", pos);
    if (eol == std::string::npos) eol = head.size();
    std::string line = head.substr(pos, eol - pos);
    if (first)
      out.requestLine = line;
    else
      out.headers.push_back(line);
    first = false;
    pos = eol + 2;
  }
  std::size_t bodyLen = 0;
  std::string cl = out.Header("Content-Length");
  if (!cl.empty()) bodyLen = static_cast<std::size_t>(std::strtoull(cl.c_str(), nullptr, 10));
  const std::size_t total = end + 4 + bodyLen;
  while (pending.size() < total)
    if (!readMore()) return false;
  out.raw = pending.substr(0, total);
  out.body = pending.substr(end + 4, bodyLen);
  pending.erase(0, total);
  return true;
}

Reply TestHttpServer::NextReply(const RecordedRequest& request) {
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) {
      Reply r = std::move(queue_.front());
      queue_.erase(queue_.begin());
      return r;
    }
    handler = handler_;
  }
  if (handler) return handler(request);
  return Reply::Response("HTTP/1.0 404 Not Found", {"Content-Length: 0"}, "");
}

void TestHttpServer::Serve(int fd, int connection) {
  std::string pending;
  int index = 0;
  bool open = true;
  bool reset = false;
  while (open && !stopping_) {
    RecordedRequest request;
    if (!ReadRequest(fd, pending, request)) break;
    request.connection = connection;
    request.indexOnConnection = ++index;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    Reply reply = NextReply(request);
    for (const auto& step : reply.Steps()) {
      if (!open || stopping_) break;
      switch (step.kind) {
        case Reply::Step::kSend:
          if (!SendAll(fd, step.bytes)) open = false;
          break;
        case Reply::Step::kDelay:
          if (!SleepMs(step.ms)) open = false;
          break;
        case Reply::Step::kStall: {
          // Until the client closes (reads drain what it still sends).
          char buf[4096];
          while (WaitReadable(fd, -1)) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
          }
          open = false;
          break;
        }
        case Reply::Step::kClose:
          open = false;
          break;
        case Reply::Step::kReset: {
          linger l{1, 0};
          setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
          open = false;
          reset = true;
          break;
        }
      }
    }
    if (!reply.KeepsAlive()) open = false;
  }
  // A reset sends no end of stream first: the client must see the reset alone.
  if (!reset) ::shutdown(fd, SHUT_WR);
  ::close(fd);
  ++closedConnections_;
}

}  // namespace testsupport
