// TAsyncSocket, the socket the HTTP transport owns: TSocketBase <- TSocksSocket
// <- TLineSocket <- TSyncSocket <- TAsyncSocket. In this program only the base
// works; line mode is off (its settings are kept, receiving passes straight
// through) and synchronous waiting is never used.
#pragma once

#include <string>

#include "net/SocksSocket.h"

namespace net {

// Line mode: settings only; with LineMode off everything passes through.
class TLineSocket : public TSocksSocket {
 public:
  explicit TLineSocket(platform::EventLoop& loop) : TSocksSocket(loop) {}
  bool LineMode() const { return LineMode_; }
  const std::string& LineEnd() const { return LineEnd_; }
  void SetLineEnd(const std::string& value) { LineEnd_ = value; }
  int LineLimit() const { return LineLimit_; }
  void SetLineLimit(int value) { LineLimit_ = value; }

 private:
  bool LineMode_ = false;
  std::string LineEnd_ = "\r\n";
  int LineLimit_ = 65536;
};

// Synchronous waiting: not used; nothing to add.
class TSyncSocket : public TLineSocket {
 public:
  explicit TSyncSocket(platform::EventLoop& loop) : TLineSocket(loop) {}
};

class TAsyncSocket final : public TSyncSocket {
 public:
  explicit TAsyncSocket(platform::EventLoop& loop) : TSyncSocket(loop) {}
};

}  // namespace net
