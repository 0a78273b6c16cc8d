// TSocksSocket: the SOCKS layer over TSocketBase. Only its settings and their
// guards are provided, because the HTTP transport sets them before every
// connection; with SocksServer empty (always, in this program) everything
// passes straight to the socket beneath. SOCKS negotiation itself is not
// provided: a connection through a SOCKS server is refused with an error.
#pragma once

#include <string>

#include "net/SocketBase.h"

namespace net {

enum class TSocksAuthentication { saNoAuthentication, saAuthenticateUsercode };

class TSocksSocket : public TSocketBase {
 public:
  explicit TSocksSocket(platform::EventLoop& loop) : TSocketBase(loop) {}

  const std::string& SocksServer() const { return SocksServer_; }
  void SetSocksServer(const std::string& value);
  const std::string& SocksPort() const { return SocksPort_; }
  void SetSocksPort(const std::string& value);
  // "4", "4A", "4a" or "5", kept in upper case.
  const std::string& SocksLevel() const { return SocksLevel_; }
  void SetSocksLevel(const std::string& value);
  const std::string& SocksUsercode() const { return SocksUsercode_; }
  void SetSocksUsercode(const std::string& value) { SocksUsercode_ = value; }
  const std::string& SocksPassword() const { return SocksPassword_; }
  void SetSocksPassword(const std::string& value) { SocksPassword_ = value; }
  TSocksAuthentication SocksAuthentication() const { return SocksAuthentication_; }
  void SetSocksAuthentication(TSocksAuthentication value) { SocksAuthentication_ = value; }

  void Connect() override;

 protected:
  void ResetConnectionFields() override;

 private:
  std::string SocksServer_;
  std::string SocksPort_;
  std::string SocksLevel_ = "5";
  std::string SocksUsercode_;
  std::string SocksPassword_;
  TSocksAuthentication SocksAuthentication_ = TSocksAuthentication::saNoAuthentication;
};

}  // namespace net
