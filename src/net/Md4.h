// The MD4 message digest (RFC 1320), which NTLM uses to hash the password.
// Incremental: feed any number of pieces with Update, then take the digest
// once with Final; the object starts afresh after Final.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace net {

using Md4Digest = std::array<std::uint8_t, 16>;

class Md4 {
 public:
  Md4() { Reset(); }

  void Update(std::span<const std::uint8_t> data);
  void Update(std::string_view data);
  Md4Digest Final();

  static Md4Digest Of(std::span<const std::uint8_t> data);
  static Md4Digest Of(std::string_view data);

 private:
  void Reset();
  void Transform(const std::uint8_t* block);

  std::array<std::uint32_t, 4> state_{};
  std::uint64_t length_ = 0;  // bytes fed so far
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
};

}  // namespace net
