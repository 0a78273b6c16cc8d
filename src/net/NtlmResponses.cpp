#include "net/NtlmResponses.h"

#include <algorithm>
#include <span>

#include "net/Des.h"
#include "net/Md4.h"
#include "net/NtlmStrings.h"

namespace net {
namespace {

DesBlock EncryptWith7ByteKey(const std::uint8_t* key7, std::span<const std::uint8_t, 8> block) {
  const DesBlock key = DesKeyFrom56Bits(std::span<const std::uint8_t, 7>(key7, 7));
  return Des(key).Encrypt(block);
}

}  // namespace

NtlmHash LmHash(std::string_view password) {
  static constexpr std::uint8_t kMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
  const std::string upper = AsciiUpper(password);
  std::array<std::uint8_t, 14> key{};
  std::copy_n(upper.begin(), std::min<std::size_t>(upper.size(), key.size()), key.begin());
  NtlmHash hash;
  const DesBlock first = EncryptWith7ByteKey(key.data(), kMagic);
  const DesBlock second = EncryptWith7ByteKey(key.data() + 7, kMagic);
  std::copy(first.begin(), first.end(), hash.begin());
  std::copy(second.begin(), second.end(), hash.begin() + 8);
  return hash;
}

NtlmHash NtHash(std::string_view password) { return Md4::Of(Utf8ToUtf16Le(password)); }

NtlmResponse NtlmChallengeResponse(const NtlmHash& hash, const NtlmChallengeBytes& challenge) {
  std::array<std::uint8_t, 21> keys{};
  std::copy(hash.begin(), hash.end(), keys.begin());
  NtlmResponse response;
  for (int i = 0; i < 3; ++i) {
    const DesBlock part = EncryptWith7ByteKey(keys.data() + 7 * i, challenge);
    std::copy(part.begin(), part.end(), response.begin() + 8 * i);
  }
  return response;
}

NtlmResponse LmResponse(std::string_view password, const NtlmChallengeBytes& challenge) {
  return NtlmChallengeResponse(LmHash(password), challenge);
}

NtlmResponse NtResponse(std::string_view password, const NtlmChallengeBytes& challenge) {
  return NtlmChallengeResponse(NtHash(password), challenge);
}

}  // namespace net
