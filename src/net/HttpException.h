// The exception the HTTP transport raises for misuse (busy, nothing to post,
// unsupported version, unexpected authentication state) and, from the waiting
// GET only, for a final error status. It carries a message and a 16-bit code.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace net {

class EHttpException : public std::runtime_error {
 public:
  EHttpException(const std::string& message, std::uint16_t errorCode)
      : std::runtime_error(message), errorCode_(errorCode) {}
  std::uint16_t ErrorCode() const { return errorCode_; }

 private:
  std::uint16_t errorCode_;
};

}  // namespace net
