// Base64 in the RFC 2045 / RFC 4648 alphabet with "=" padding, and the Basic
// credentials built on it. Encoding never fails; decoding refuses text that is
// not Base64 instead of guessing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace net {

std::string Base64Encode(std::span<const std::uint8_t> data);
std::string Base64Encode(std::string_view data);

// Decodes `text`. Blanks, tabs, CR and LF anywhere are ignored (header values
// arrive with them), and missing "=" padding is tolerated. Any other character
// outside the alphabet, data after the padding, or a dangling sixth bit group
// make the whole text invalid: the answer is then std::nullopt.
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text);

// The value of an "Authorization:" or "Proxy-Authorization:" line for Basic
// authentication: "Basic " followed by the Base64 of user ":" password.
std::string BasicAuthorizationValue(std::string_view user, std::string_view password);

}  // namespace net
