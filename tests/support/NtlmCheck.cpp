#include "support/NtlmCheck.h"

#include <algorithm>
#include <cstring>

#include "net/Base64.h"
#include "net/NtlmStrings.h"

namespace testsupport {
namespace {

constexpr std::uint8_t kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};

std::uint32_t Get16(const std::vector<std::uint8_t>& in, std::size_t at) {
  return in[at] | (std::uint32_t{in[at + 1]} << 8);
}

std::uint32_t Get32(const std::vector<std::uint8_t>& in, std::size_t at) {
  return in[at] | (std::uint32_t{in[at + 1]} << 8) | (std::uint32_t{in[at + 2]} << 16) |
         (std::uint32_t{in[at + 3]} << 24);
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutField(std::vector<std::uint8_t>& out, std::size_t length, std::size_t offset) {
  out.push_back(static_cast<std::uint8_t>(length));
  out.push_back(static_cast<std::uint8_t>(length >> 8));
  out.push_back(static_cast<std::uint8_t>(length));
  out.push_back(static_cast<std::uint8_t>(length >> 8));
  Put32(out, static_cast<std::uint32_t>(offset));
}

// The message of an "NTLM <Base64>" value of the given type, or std::nullopt.
std::optional<std::vector<std::uint8_t>> DecodeValue(std::string_view value, std::uint32_t type) {
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  if (value.size() < 5 || value.substr(0, 5) != "NTLM ") return std::nullopt;
  auto message = net::Base64Decode(value.substr(5));
  if (!message || message->size() < 12) return std::nullopt;
  if (!std::equal(std::begin(kSignature), std::end(kSignature), message->begin())) return std::nullopt;
  if (Get32(*message, 8) != type) return std::nullopt;
  return message;
}

std::optional<std::vector<std::uint8_t>> Field(const std::vector<std::uint8_t>& message, std::size_t field) {
  const std::size_t length = Get16(message, field);
  const std::size_t offset = Get32(message, field + 4);
  if (length == 0) return std::vector<std::uint8_t>{};
  if (offset > message.size() || length > message.size() - offset) return std::nullopt;
  return std::vector<std::uint8_t>(message.begin() + offset, message.begin() + offset + length);
}

std::string Text(const std::vector<std::uint8_t>& bytes, bool unicode) {
  if (unicode) return net::Utf16LeToUtf8(bytes);
  return std::string(bytes.begin(), bytes.end());
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

}  // namespace

std::string NtlmType2Value(const net::NtlmChallengeBytes& challenge, std::uint32_t flags, std::string_view targetName) {
  std::vector<std::uint8_t> name;
  if ((flags & net::kNtlmNegotiateUnicode) != 0) {
    name = net::Utf8ToUtf16Le(targetName);
  } else {
    name.assign(targetName.begin(), targetName.end());
  }
  // Target information: the NetBIOS domain name (type 2), then the end (type 0).
  std::vector<std::uint8_t> info;
  if ((flags & net::kNtlmNegotiateTargetInfo) != 0) {
    const std::vector<std::uint8_t> domain = net::Utf8ToUtf16Le(targetName);
    info = {2, 0, static_cast<std::uint8_t>(domain.size()), static_cast<std::uint8_t>(domain.size() >> 8)};
    info.insert(info.end(), domain.begin(), domain.end());
    info.insert(info.end(), {0, 0, 0, 0});
  }
  const std::size_t header = 48;
  std::vector<std::uint8_t> message(std::begin(kSignature), std::end(kSignature));
  Put32(message, 2);
  PutField(message, name.size(), header);
  Put32(message, flags);
  message.insert(message.end(), challenge.begin(), challenge.end());
  message.insert(message.end(), 8, 0);  // context
  PutField(message, info.size(), header + name.size());
  message.insert(message.end(), name.begin(), name.end());
  message.insert(message.end(), info.begin(), info.end());
  return "NTLM " + net::Base64Encode(message);
}

bool IsNtlmType1(std::string_view authorizationValue) {
  const auto message = DecodeValue(authorizationValue, 1);
  return message && message->size() >= 16;
}

std::optional<NtlmType3Message> ReadNtlmType3(std::string_view authorizationValue) {
  const auto message = DecodeValue(authorizationValue, 3);
  if (!message || message->size() < 64) return std::nullopt;
  NtlmType3Message result;
  result.flags = Get32(*message, 60);
  result.unicode = (result.flags & net::kNtlmNegotiateUnicode) != 0;
  const auto lm = Field(*message, 12), nt = Field(*message, 20), domain = Field(*message, 28),
             user = Field(*message, 36), workstation = Field(*message, 44), key = Field(*message, 52);
  if (!lm || !nt || !domain || !user || !workstation || !key) return std::nullopt;
  result.lmResponse = *lm;
  result.ntResponse = *nt;
  result.domain = Text(*domain, result.unicode);
  result.user = Text(*user, result.unicode);
  result.workstation = Text(*workstation, result.unicode);
  result.sessionKey = *key;
  return result;
}

NtlmCheckResult CheckNtlmType3(std::string_view authorizationValue, std::string_view password,
                               const net::NtlmChallengeBytes& challenge, std::optional<std::string_view> expectedUser) {
  NtlmCheckResult result;
  result.message = ReadNtlmType3(authorizationValue);
  if (!result.message) {
    result.reason = "not a well-formed NTLM type-3 message";
    return result;
  }
  const net::NtlmResponse lm = net::LmResponse(password, challenge);
  const net::NtlmResponse nt = net::NtResponse(password, challenge);
  const std::vector<std::uint8_t> expectedLm(lm.begin(), lm.end()), expectedNt(nt.begin(), nt.end());
  if (result.message->ntResponse != expectedNt) {
    result.reason = "NT response " + Hex(result.message->ntResponse) + ", expected " + Hex(expectedNt);
  } else if (result.message->lmResponse != expectedLm) {
    result.reason = "LM response " + Hex(result.message->lmResponse) + ", expected " + Hex(expectedLm);
  } else if (expectedUser && result.message->user != *expectedUser) {
    result.reason = "user \"" + result.message->user + "\", expected \"" + std::string(*expectedUser) + "\"";
  } else {
    result.accepted = true;
  }
  return result;
}

}  // namespace testsupport
