// Text conversions for NTLM messages: the system's UTF-8 to and from the
// UTF-16LE that NTLM calls Unicode, and the upper-casing of the LM password.
// Bytes that are not valid UTF-8 are taken as Latin-1 characters, so a
// password stored in a legacy 8-bit code page still hashes as that text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace net {

std::vector<std::uint8_t> Utf8ToUtf16Le(std::string_view text);
// Unpaired surrogates and a dangling odd byte become U+FFFD.
std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes);
// Upper-cases the ASCII letters only; other bytes stay as they are.
std::string AsciiUpper(std::string_view text);

}  // namespace net
