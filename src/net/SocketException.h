// The exception the socket layer raises for misuse and for errors reported
// while no OnError handler is assigned; the message is the reported text.
#pragma once

#include <stdexcept>
#include <string>

namespace net {

class ESocketException : public std::runtime_error {
 public:
  explicit ESocketException(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace net
