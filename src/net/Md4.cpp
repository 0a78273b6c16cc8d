#include "net/Md4.h"

#include <algorithm>
#include <cstring>

namespace net {
namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }
constexpr std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (~x & z); }
constexpr std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return (x & y) | (x & z) | (y & z); }
constexpr std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }

}  // namespace

void Md4::Reset() {
  state_ = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  length_ = 0;
  buffered_ = 0;
}

void Md4::Transform(const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = std::uint32_t{block[4 * i]} | (std::uint32_t{block[4 * i + 1]} << 8) |
           (std::uint32_t{block[4 * i + 2]} << 16) | (std::uint32_t{block[4 * i + 3]} << 24);
  }
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

  // Round 1: the words in order, shifts 3 7 11 19.
  constexpr int kS1[4] = {3, 7, 11, 19};
  for (int i = 0; i < 16; ++i) {
    const std::uint32_t t = Rotl(a + F(b, c, d) + x[i], kS1[i % 4]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  // Round 2: the words by column, shifts 3 5 9 13.
  constexpr int kOrder2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
  constexpr int kS2[4] = {3, 5, 9, 13};
  for (int i = 0; i < 16; ++i) {
    const std::uint32_t t = Rotl(a + G(b, c, d) + x[kOrder2[i]] + 0x5a827999u, kS2[i % 4]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  // Round 3: the words in bit-reversed order, shifts 3 9 11 15.
  constexpr int kOrder3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  constexpr int kS3[4] = {3, 9, 11, 15};
  for (int i = 0; i < 16; ++i) {
    const std::uint32_t t = Rotl(a + H(b, c, d) + x[kOrder3[i]] + 0x6ed9eba1u, kS3[i % 4]);
    a = d;
    d = c;
    c = b;
    b = t;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md4::Update(std::span<const std::uint8_t> data) {
  length_ += data.size();
  std::size_t pos = 0;
  if (buffered_ > 0) {
    const std::size_t take = std::min(data.size(), buffer_.size() - buffered_);
    std::memcpy(buffer_.data() + buffered_, data.data(), take);
    buffered_ += take;
    pos = take;
    if (buffered_ < buffer_.size()) return;
    Transform(buffer_.data());
    buffered_ = 0;
  }
  for (; pos + 64 <= data.size(); pos += 64) Transform(data.data() + pos);
  if (pos < data.size()) {
    std::memcpy(buffer_.data(), data.data() + pos, data.size() - pos);
    buffered_ = data.size() - pos;
  }
}

void Md4::Update(std::string_view data) {
  Update(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

Md4Digest Md4::Final() {
  const std::uint64_t bits = length_ * 8;
  // Pad with one 1 bit and zeros up to 56 bytes mod 64, then the bit length.
  std::uint8_t pad[72] = {0x80};
  const std::size_t padLength = (buffered_ < 56 ? 56 : 120) - buffered_;
  for (int i = 0; i < 8; ++i) pad[padLength + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Update(std::span<const std::uint8_t>(pad, padLength + 8));

  Md4Digest digest;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
  }
  Reset();
  return digest;
}

Md4Digest Md4::Of(std::span<const std::uint8_t> data) {
  Md4 md4;
  md4.Update(data);
  return md4.Final();
}

Md4Digest Md4::Of(std::string_view data) {
  Md4 md4;
  md4.Update(data);
  return md4.Final();
}

}  // namespace net
