// The NTLM values of "Authorization:" and "Proxy-Authorization:" lines, for
// the transport's two steps: "NTLM " and the Base64 of a type-1 message, then
// "NTLM " and the Base64 of the type-3 answer to the server's challenge line.
// A challenge that cannot be read safely is refused: no type-3 value exists
// for it and the exchange ends there.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "net/NtlmMessages.h"

namespace net {

// "NTLM TlRMTVNTUAAB..." for the first step.
std::string NtlmType1Value();

// Reads the type-2 message of a challenge line: either the whole value of a
// "WWW-Authenticate:" / "Proxy-Authenticate:" line ("NTLM " and Base64, the
// scheme name in any case) or the Base64 text after "NTLM ". std::nullopt
// when the line is not Base64 or its message is refused (see ReadNtlmType2).
std::optional<NtlmType2> ReadNtlmChallengeLine(std::string_view challengeLine);

// "NTLM " and the Base64 type-3 message answering `challengeLine`, or
// std::nullopt when the challenge is refused.
std::optional<std::string> NtlmType3Value(std::string_view challengeLine, std::string_view user,
                                          std::string_view password, std::string_view workstation);

// The local host name, as the type-3 message names the workstation; empty
// when the system cannot tell.
std::string NtlmWorkstationName();

}  // namespace net
