// NTLM for scripted test servers: the type-2 challenge a server sends, and a
// checker that reads the client's type-3 answer and verifies its LM and NT
// responses against the password and challenge the server knows. Values are
// those of "Authorization:" lines ("NTLM " and Base64).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/NtlmMessages.h"

namespace testsupport {

// The flags of the challenge a Windows server typically sends: Unicode, NTLM,
// the target's name (a domain) and the target information.
inline constexpr std::uint32_t kNtlmServerFlags = 0x00810201;

// "NTLM " and the Base64 of a type-2 message with `challenge`; the target name
// is written in UTF-16LE when `flags` carry the Unicode flag, else as bytes.
std::string NtlmType2Value(const net::NtlmChallengeBytes& challenge, std::uint32_t flags = kNtlmServerFlags,
                           std::string_view targetName = "VELMORA");

// Whether `authorizationValue` is "NTLM " and a well-formed type-1 message.
bool IsNtlmType1(std::string_view authorizationValue);

// A type-3 message read back; texts converted to UTF-8 by its Unicode flag.
struct NtlmType3Message {
  std::uint32_t flags = 0;
  bool unicode = false;
  std::string domain;
  std::string user;
  std::string workstation;
  std::vector<std::uint8_t> lmResponse;
  std::vector<std::uint8_t> ntResponse;
  std::vector<std::uint8_t> sessionKey;
};

// std::nullopt unless the value is "NTLM " and Base64 of a type-3 message whose
// every field lies inside it.
std::optional<NtlmType3Message> ReadNtlmType3(std::string_view authorizationValue);

struct NtlmCheckResult {
  bool accepted = false;
  std::string reason;  // why it was refused; empty when accepted
  std::optional<NtlmType3Message> message;
};

// Accepts the answer when it is a well-formed type-3 message whose LM and NT
// responses are those of `password` over `challenge`, and, when
// `expectedUser` is given, which names that user.
NtlmCheckResult CheckNtlmType3(std::string_view authorizationValue, std::string_view password,
                               const net::NtlmChallengeBytes& challenge,
                               std::optional<std::string_view> expectedUser = std::nullopt);

}  // namespace testsupport
