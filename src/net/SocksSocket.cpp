// The SOCKS settings, their guards, and the pass-through connect.
#include "net/SocksSocket.h"

#include <cctype>

namespace net {

namespace {
std::string Trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}
}  // namespace

void TSocksSocket::SetSocksServer(const std::string& value) {
  if (State() != TSocketState::ssClosed) {
    ReportError("Can't change socks server if not closed");
    return;
  }
  SocksServer_ = Trimmed(value);
}

void TSocksSocket::SetSocksPort(const std::string& value) {
  if (State() != TSocketState::ssClosed) {
    ReportError("Can't change socks port if not closed");
    return;
  }
  SocksPort_ = Trimmed(value);
}

void TSocksSocket::SetSocksLevel(const std::string& value) {
  if (State() != TSocketState::ssClosed) {
    ReportError("Can't change socks level if not closed");
    return;
  }
  if (value != "4" && value != "4A" && value != "4a" && value != "5") {
    ReportError("Invalid socks level. Must be 4, 4A or 5.");
    return;
  }
  SocksLevel_ = value == "4a" ? "4A" : value;
}

void TSocksSocket::Connect() {
  if (SocksServer_.empty()) {
    TSocketBase::Connect();
    return;
  }
  std::string proto;
  for (char c : Proto()) proto += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (proto != "tcp" && proto != "6") {
    ReportError("tcp is the only protocol supported thru socks server");
    return;
  }
  // Not built: the program never names a SOCKS server. Refuse rather than
  // connect directly behind the user's back.
  ReportError("SOCKS negotiation is not supported");
}

void TSocksSocket::ResetConnectionFields() {
  TSocketBase::ResetConnectionFields();
  SocksServer_.clear();
  SocksPort_.clear();
  SocksLevel_.assign(1, '5');  // (assigning the literal trips a false -Wrestrict in GCC 12)
}

}  // namespace net
