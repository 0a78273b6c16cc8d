// MD4 against the RFC 1320 test suite, whole and fed in pieces.
#include <gtest/gtest.h>

#include <random>

#include "net/Md4.h"

namespace {

std::string Hex(const net::Md4Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t b : digest) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

const std::pair<std::string, const char*> kRfc1320[] = {
    {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
    {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
    {"message digest", "d9130a8164549fe818874806e1c7014b"},
    {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "043f8582f241db351ce627e153e7f0e4"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "e33b4ddc9c38f2199c3e7b164fcc0536"},
};

TEST(Md4, Rfc1320TestSuite) {
  for (const auto& [message, digest] : kRfc1320) EXPECT_EQ(Hex(net::Md4::Of(message)), digest) << '"' << message << '"';
}

TEST(Md4, PiecesGiveTheSameDigestAsTheWhole) {
  std::mt19937 random(1320);
  for (const auto& [message, digest] : kRfc1320) {
    // Byte by byte, then random splits.
    net::Md4 bytewise;
    for (const char c : message) bytewise.Update(std::string_view(&c, 1));
    EXPECT_EQ(Hex(bytewise.Final()), digest) << message;
    for (int round = 0; round < 20; ++round) {
      net::Md4 md4;
      std::size_t pos = 0;
      while (pos < message.size()) {
        const std::size_t take = std::min<std::size_t>(message.size() - pos, random() % 70);
        md4.Update(std::string_view(message).substr(pos, take));
        pos += take;
      }
      EXPECT_EQ(Hex(md4.Final()), digest) << message;
    }
  }
}

TEST(Md4, FinalStartsAfresh) {
  net::Md4 md4;
  md4.Update("message ");
  md4.Final();
  md4.Update("abc");
  EXPECT_EQ(Hex(md4.Final()), "a448017aaf21d8525fc10ae87aa6729d");
}

// Around the padding boundaries (55, 56, 63, 64 bytes) pieces and whole agree.
TEST(Md4, LengthsAroundTheBlockBoundaries) {
  const std::string text(200, 'x');
  for (std::size_t length = 50; length <= 130; ++length) {
    const std::string message = text.substr(0, length);
    net::Md4 split;
    split.Update(std::string_view(message).substr(0, length / 3));
    split.Update(std::string_view(message).substr(length / 3));
    EXPECT_EQ(Hex(split.Final()), Hex(net::Md4::Of(message))) << length;
  }
}

}  // namespace
