// The three NTLMSSP messages of an NTLM (version 1) exchange, as bytes:
// the type-1 negotiation the client opens with, the reader for the server's
// type-2 challenge, and the type-3 answer with the LM and NT responses.
// All integers are little-endian; strings are described by 8-byte "security
// buffers" (length, allocated length, offset from the message start).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "net/NtlmResponses.h"

namespace net {

// Negotiation flags used here.
inline constexpr std::uint32_t kNtlmNegotiateUnicode = 0x00000001;
inline constexpr std::uint32_t kNtlmNegotiateOem = 0x00000002;
inline constexpr std::uint32_t kNtlmRequestTarget = 0x00000004;
inline constexpr std::uint32_t kNtlmNegotiateNtlm = 0x00000200;
inline constexpr std::uint32_t kNtlmNegotiateAlwaysSign = 0x00008000;
inline constexpr std::uint32_t kNtlmNegotiateTargetInfo = 0x00800000;

// The flags of our type-1 message: Unicode or OEM text, the target's name
// requested, NTLM responses. Neither a domain nor a workstation is supplied,
// and no extended session security is asked for (the responses are version 1).
inline constexpr std::uint32_t kNtlmType1Flags =
    kNtlmNegotiateUnicode | kNtlmNegotiateOem | kNtlmRequestTarget | kNtlmNegotiateNtlm | kNtlmNegotiateAlwaysSign;

// 32 bytes: signature, type 1, flags, and empty domain and workstation fields.
std::vector<std::uint8_t> BuildNtlmType1();

// What the client needs of a type-2 message.
struct NtlmType2 {
  std::uint32_t flags = 0;
  NtlmChallengeBytes challenge{};
  std::vector<std::uint8_t> targetName;  // as sent (UTF-16LE or OEM, by the flags)
  std::vector<std::uint8_t> targetInfo;  // only when the flags announce it
};

// Reads a type-2 message. Refused (std::nullopt): a message shorter than its
// 32-byte fixed part, a wrong signature or type, or a non-empty field whose
// offset and length reach outside the message. Nothing outside `message` is
// ever read.
std::optional<NtlmType2> ReadNtlmType2(std::span<const std::uint8_t> message);

// The type-3 answer to `challenge`: no domain, the user and workstation names
// as given, in UTF-16LE when the server offered Unicode, else as their own
// bytes (OEM); the 24-byte LM and NT responses; no session key.
std::vector<std::uint8_t> BuildNtlmType3(const NtlmType2& challenge, std::string_view user, std::string_view password,
                                         std::string_view workstation);

}  // namespace net
