// A scriptable HTTP test server on 127.0.0.1 with an ephemeral port. It runs
// on threads of its own (one accepting, one per connection), so a test drives
// the client's loop with RunUntil while the server answers.
//
// Every request received is recorded whole (line, header lines, body). The
// answer to a request is a Reply: a script of steps (send bytes, send them in
// pieces, wait, stall until the client goes, close, reset). Replies are taken
// from the queue filled by AddReply, one per request in arrival order; when the
// queue is empty the handler set by SetHandler answers; without either the
// server answers "HTTP/1.0 404 Not Found" and closes. After the last step the
// connection is closed unless the reply asks to keep it for the next request.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct RecordedRequest {
  std::string raw;                   // header and body as received
  std::string requestLine;           // e.g. "GET /x HTTP/1.0"
  std::vector<std::string> headers;  // the lines after the request line, without CR LF
  std::string body;                  // per Content-Length
  int connection = 0;                // 1-based number of the connection it came on
  int indexOnConnection = 0;         // 1-based number on that connection

  // The value of the first header named `name` (compared without regard to
  // case), "" when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

class Reply {
 public:
  struct Step {
    enum Kind { kSend, kDelay, kStall, kClose, kReset } kind;
    std::string bytes;
    int ms = 0;
  };

  // A whole response from its parts: status line, header lines, body.
  static Reply Response(const std::string& statusLine, const std::vector<std::string>& headers,
                        const std::string& body);
  // Raw bytes in one write.
  static Reply Bytes(const std::string& bytes);

  Reply& Send(const std::string& bytes);
  // The bytes in writes of `pieceSize`, with `delayMs` between them so that
  // each arrives on its own.
  Reply& SendInPieces(const std::string& bytes, std::size_t pieceSize, int delayMs = 5);
  // The bytes cut at the given sizes (the rest in one last write).
  Reply& SendSplit(const std::string& bytes, const std::vector<std::size_t>& sizes, int delayMs = 5);
  Reply& Delay(int ms);
  // Sends nothing more until the client closes or the server stops.
  Reply& Stall();
  Reply& Close();
  // Closes with a reset (SO_LINGER 0).
  Reply& Reset();
  // After the steps, wait for the next request on the same connection.
  Reply& KeepAlive();

  const std::vector<Step>& Steps() const { return steps_; }
  bool KeepsAlive() const { return keepAlive_; }

 private:
  std::vector<Step> steps_;
  bool keepAlive_ = false;
};

class TestHttpServer {
 public:
  using Handler = std::function<Reply(const RecordedRequest&)>;

  TestHttpServer();
  ~TestHttpServer();  // stops every thread; stalls end
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  std::uint16_t Port() const { return port_; }
  // "127.0.0.1:" + port
  std::string HostPort() const;
  // "http://127.0.0.1:" + port + path
  std::string Url(const std::string& path = "/") const;

  void AddReply(Reply reply);
  void SetHandler(Handler handler);

  std::vector<RecordedRequest> Requests() const;
  std::size_t RequestCount() const;
  int ConnectionCount() const { return connections_.load(); }
  // Connections whose peer has closed (or that the script closed).
  int ClosedConnectionCount() const { return closedConnections_.load(); }

 private:
  void AcceptLoop();
  void Serve(int fd, int connection);
  bool ReadRequest(int fd, std::string& pending, RecordedRequest& out);
  bool WaitReadable(int fd, int timeoutMs);
  bool SleepMs(int ms);
  bool SendAll(int fd, const std::string& bytes);
  Reply NextReply(const RecordedRequest& request);

  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> closedConnections_{0};
  std::thread acceptThread_;
  mutable std::mutex mutex_;
  std::vector<std::thread> connectionThreads_;
  std::vector<Reply> queue_;
  Handler handler_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace testsupport
