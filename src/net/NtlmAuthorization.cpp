#include "net/NtlmAuthorization.h"

#include <unistd.h>

#include <climits>

#include "net/Base64.h"

namespace net {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return text;
}

// The Base64 part of a challenge line: after a leading "NTLM" scheme name and
// its blanks when there is one, else the whole (trimmed) text. A Base64 type-2
// message itself starts "TlRM", so the two forms cannot be confused.
std::string_view ChallengeBase64(std::string_view line) {
  line = TrimBlanks(line);
  if (line.size() >= 4) {
    bool scheme = true;
    for (int i = 0; i < 4; ++i) scheme = scheme && (line[i] | 0x20) == "ntlm"[i];
    if (scheme && (line.size() == 4 || IsBlank(line[4]))) return TrimBlanks(line.substr(4));
  }
  return line;
}

}  // namespace

std::string NtlmType1Value() { return "NTLM " + Base64Encode(BuildNtlmType1()); }

std::optional<NtlmType2> ReadNtlmChallengeLine(std::string_view challengeLine) {
  const auto message = Base64Decode(ChallengeBase64(challengeLine));
  if (!message) return std::nullopt;
  return ReadNtlmType2(*message);
}

std::optional<std::string> NtlmType3Value(std::string_view challengeLine, std::string_view user,
                                          std::string_view password, std::string_view workstation) {
  const auto challenge = ReadNtlmChallengeLine(challengeLine);
  if (!challenge) return std::nullopt;
  return "NTLM " + Base64Encode(BuildNtlmType3(*challenge, user, password, workstation));
}

std::string NtlmWorkstationName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace net
