// The LM and NT responses of NTLM (version 1): each is a 16-byte password
// hash, padded to 21 bytes and cut into three DES keys that each encrypt the
// server's 8-byte challenge, giving 24 bytes.
//  - LM hash: the password upper-cased (ASCII letters), cut or zero-padded to
//    14 bytes, each half a DES key over the constant "KGS!@#$%".
//  - NT hash: MD4 of the password in UTF-16LE.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace net {

using NtlmChallengeBytes = std::array<std::uint8_t, 8>;
using NtlmHash = std::array<std::uint8_t, 16>;
using NtlmResponse = std::array<std::uint8_t, 24>;

NtlmHash LmHash(std::string_view password);
NtlmHash NtHash(std::string_view password);
// DES of the challenge under the hash, zero-padded to three 7-byte keys.
NtlmResponse NtlmChallengeResponse(const NtlmHash& hash, const NtlmChallengeBytes& challenge);

NtlmResponse LmResponse(std::string_view password, const NtlmChallengeBytes& challenge);
NtlmResponse NtResponse(std::string_view password, const NtlmChallengeBytes& challenge);

}  // namespace net
