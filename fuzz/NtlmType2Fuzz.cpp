// The NTLM type-2 reader on arbitrary input: as a raw message, as the Base64
// of one in a challenge line, and as challenge-line text itself. An accepted
// message must have come from inside the input, and the type-3 answer built
// from it must stay well-formed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/Base64.h"
#include "net/NtlmAuthorization.h"
#include "net/NtlmMessages.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void Answer(const net::NtlmType2& type2, std::size_t inputSize) {
  Check(inputSize >= 32);
  Check(type2.targetName.size() <= inputSize && type2.targetInfo.size() <= inputSize);
  const auto type3 = net::BuildNtlmType3(type2, "user", "SecREt01", "HOST");
  Check(type3.size() == 64 + 8 + 8 + 24 + 24 || type3.size() == 64 + 4 + 4 + 24 + 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  if (const auto type2 = net::ReadNtlmType2(bytes)) Answer(*type2, size);

  const std::string line = "NTLM " + net::Base64Encode(bytes);
  const auto viaLine = net::ReadNtlmChallengeLine(line);
  Check(viaLine.has_value() == net::ReadNtlmType2(bytes).has_value());

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto decoded = net::Base64Decode(text)) {
    if (const auto type2 = net::ReadNtlmType2(*decoded)) Answer(*type2, decoded->size());
  }
  (void)net::NtlmType3Value(text, "user", "SecREt01", "HOST");
  return 0;
}
