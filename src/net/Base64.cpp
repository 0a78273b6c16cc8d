#include "net/Base64.h"

namespace net {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of an alphabet character, -1 for anything else.
int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsIgnoredSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string Base64Encode(std::span<const std::uint8_t> data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    const std::uint32_t v = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = data.size() - i;
  if (rest == 1) {
    const std::uint32_t v = std::uint32_t{data[i]} << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (rest == 2) {
    const std::uint32_t v = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string Base64Encode(std::string_view data) {
  return Base64Encode(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t group = 0;
  int sextets = 0;  // alphabet characters in the current group of four
  int padding = 0;
  for (const char c : text) {
    if (IsIgnoredSpace(c)) continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const int v = SextetOf(c);
    if (v < 0 || padding > 0) return std::nullopt;  // foreign character, or data after "="
    group = (group << 6) | static_cast<std::uint32_t>(v);
    if (++sextets == 4) {
      out.push_back(static_cast<std::uint8_t>(group >> 16));
      out.push_back(static_cast<std::uint8_t>(group >> 8));
      out.push_back(static_cast<std::uint8_t>(group));
      group = 0;
      sextets = 0;
    }
  }
  switch (sextets) {
    case 0:
      if (padding != 0) return std::nullopt;
      break;
    case 2:  // one byte; "==" or nothing may follow
      if (padding != 0 && padding != 2) return std::nullopt;
      out.push_back(static_cast<std::uint8_t>(group >> 4));
      break;
    case 3:  // two bytes; "=" or nothing may follow
      if (padding > 1) return std::nullopt;
      out.push_back(static_cast<std::uint8_t>(group >> 10));
      out.push_back(static_cast<std::uint8_t>(group >> 2));
      break;
    default:  // a single sextet cannot hold a byte
      return std::nullopt;
  }
  return out;
}

std::string BasicAuthorizationValue(std::string_view user, std::string_view password) {
  std::string credentials;
  credentials.reserve(user.size() + 1 + password.size());
  credentials.append(user).append(":").append(password);
  return "Basic " + Base64Encode(credentials);
}

}  // namespace net
