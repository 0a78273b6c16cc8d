// The DES block cipher (FIPS 46), one 8-byte block at a time, as NTLM needs
// it for the LM and NT responses. Keys are 8 bytes whose lowest bit of each
// byte (the parity bit) is ignored; DesKeyFrom56Bits spreads a 7-byte key
// over those 8 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace net {

using DesBlock = std::array<std::uint8_t, 8>;

class Des {
 public:
  explicit Des(std::span<const std::uint8_t, 8> key);

  DesBlock Encrypt(std::span<const std::uint8_t, 8> block) const;
  DesBlock Decrypt(std::span<const std::uint8_t, 8> block) const;

 private:
  DesBlock Crypt(std::span<const std::uint8_t, 8> block, bool decrypt) const;

  std::array<std::uint64_t, 16> subkeys_{};  // 48 bits each, round 1 first
};

// Spreads 56 key bits over 8 bytes, seven bits in the high part of each byte,
// and sets each byte's lowest bit for odd parity.
DesBlock DesKeyFrom56Bits(std::span<const std::uint8_t, 7> key);

}  // namespace net
