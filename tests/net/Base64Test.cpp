// Base64 both ways: the RFC 4648 vectors, what decoding tolerates and what it
// refuses, and the Basic credentials value.
#include <gtest/gtest.h>

#include <random>

#include "net/Base64.h"

namespace {

using net::Base64Decode;
using net::Base64Encode;

std::string AsText(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(Base64, Rfc4648VectorsEncodeAndDecode) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(Base64Encode(std::string_view(plain)), encoded) << plain;
    const auto decoded = Base64Decode(encoded);
    ASSERT_TRUE(decoded.has_value()) << encoded;
    EXPECT_EQ(AsText(*decoded), plain) << encoded;
  }
}

TEST(Base64, EveryByteValueAndLengthRoundTrips) {
  std::mt19937 random(4648);
  for (std::size_t length = 0; length < 300; ++length) {
    std::vector<std::uint8_t> data(length);
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    if (length == 256) {
      for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i);
    }
    const std::string text = Base64Encode(data);
    EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
    const auto back = Base64Decode(text);
    ASSERT_TRUE(back.has_value()) << length;
    EXPECT_EQ(*back, data) << length;
  }
}

TEST(Base64, DecodingToleratesBlanksLineBreaksAndMissingPadding) {
  const std::pair<const char*, const char*> cases[] = {
      {"Zm9v\r\nYmFy", "foobar"}, {" Zm9vYg== ", "foob"}, {"Zm9\tvYmE=", "fooba"},
      {"Zg", "f"},                {"Zm8", "fo"},         {"Zm9vYmE", "fooba"},
  };
  for (const auto& [encoded, plain] : cases) {
    const auto decoded = Base64Decode(encoded);
    ASSERT_TRUE(decoded.has_value()) << encoded;
    EXPECT_EQ(AsText(*decoded), plain) << encoded;
  }
}

TEST(Base64, DecodingRefusesWhatIsNotBase64) {
  const char* cases[] = {
      "Z",         // a lone sextet holds no byte
      "Zm9vY",     // nor does a lone sextet after whole groups
      "Zm9v!mFy",  // foreign character
      "Zm9v-_",    // the URL-safe alphabet is not ours
      "Zg=a",      // data after padding
      "Zg==Zg==",  // a second group after padding
      "Zm8==",     // too much padding for two bytes
      "Zg=",       // too little padding for one byte
      "====",      // padding alone
      "Zm9v=",     // padding after a whole group
  };
  for (const char* text : cases) EXPECT_FALSE(Base64Decode(text).has_value()) << text;
}

TEST(Base64, BasicAuthorizationValue) {
  EXPECT_EQ(net::BasicAuthorizationValue("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  // The first colon separates the user; a colon in the password stays in it.
  EXPECT_EQ(net::BasicAuthorizationValue("u", "p:w"), "Basic dTpwOnc=");
  EXPECT_EQ(net::BasicAuthorizationValue("", ""), "Basic Og==");
}

}  // namespace
