#include "net/NtlmMessages.h"

#include <algorithm>
#include <cstring>

#include "net/NtlmStrings.h"

namespace net {
namespace {

constexpr std::uint8_t kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
constexpr std::size_t kType2FixedSize = 32;    // signature, type, target name, flags, challenge
constexpr std::size_t kType2TargetInfoEnd = 48;  // ... context and target-info field
constexpr std::size_t kType3HeaderSize = 64;

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Get16(std::span<const std::uint8_t> in, std::size_t at) {
  return in[at] | (std::uint32_t{in[at + 1]} << 8);
}

std::uint32_t Get32(std::span<const std::uint8_t> in, std::size_t at) {
  return in[at] | (std::uint32_t{in[at + 1]} << 8) | (std::uint32_t{in[at + 2]} << 16) |
         (std::uint32_t{in[at + 3]} << 24);
}

void StartMessage(std::vector<std::uint8_t>& out, std::uint32_t type) {
  std::memcpy(out.data(), kSignature, sizeof kSignature);
  Put32(out, 8, type);
}

// Writes the security buffer at `field` for `data`, appended to the message.
// A field holds at most 65535 bytes; a longer name is cut there, so the
// message stays well-formed (the server then refuses the name).
void AppendField(std::vector<std::uint8_t>& out, std::size_t field, std::span<const std::uint8_t> data) {
  data = data.first(std::min<std::size_t>(data.size(), 0xFFFF));
  const std::size_t offset = out.size();
  Put16(out, field, static_cast<std::uint32_t>(data.size()));
  Put16(out, field + 2, static_cast<std::uint32_t>(data.size()));
  Put32(out, field + 4, static_cast<std::uint32_t>(offset));
  out.insert(out.end(), data.begin(), data.end());
}

// The bytes a security buffer names, or std::nullopt when they are not all
// inside the message. An empty field reads nothing, wherever it points.
std::optional<std::vector<std::uint8_t>> ReadField(std::span<const std::uint8_t> message, std::size_t field) {
  const std::uint64_t length = Get16(message, field);
  const std::uint64_t offset = Get32(message, field + 4);
  if (length == 0) return std::vector<std::uint8_t>{};
  if (offset > message.size() || length > message.size() - offset) return std::nullopt;
  return std::vector<std::uint8_t>(message.begin() + offset, message.begin() + offset + length);
}

std::vector<std::uint8_t> EncodeText(std::string_view text, bool unicode) {
  if (unicode) return Utf8ToUtf16Le(text);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

std::vector<std::uint8_t> BuildNtlmType1() {
  std::vector<std::uint8_t> out(32, 0);
  StartMessage(out, 1);
  Put32(out, 12, kNtlmType1Flags);
  // Empty domain (16) and workstation (24) fields pointing at the message end.
  Put32(out, 20, 32);
  Put32(out, 28, 32);
  return out;
}

std::optional<NtlmType2> ReadNtlmType2(std::span<const std::uint8_t> message) {
  if (message.size() < kType2FixedSize) return std::nullopt;
  if (!std::equal(std::begin(kSignature), std::end(kSignature), message.begin())) return std::nullopt;
  if (Get32(message, 8) != 2) return std::nullopt;

  NtlmType2 result;
  auto targetName = ReadField(message, 12);
  if (!targetName) return std::nullopt;
  result.targetName = std::move(*targetName);
  result.flags = Get32(message, 20);
  std::copy_n(message.begin() + 24, 8, result.challenge.begin());
  // The context and target-info fields exist only in the longer form, which
  // the flags announce; otherwise those bytes may already be field data.
  if ((result.flags & kNtlmNegotiateTargetInfo) != 0 && message.size() >= kType2TargetInfoEnd) {
    auto targetInfo = ReadField(message, 40);
    if (!targetInfo) return std::nullopt;
    result.targetInfo = std::move(*targetInfo);
  }
  return result;
}

std::vector<std::uint8_t> BuildNtlmType3(const NtlmType2& challenge, std::string_view user, std::string_view password,
                                         std::string_view workstation) {
  const bool unicode = (challenge.flags & kNtlmNegotiateUnicode) != 0;
  const NtlmResponse lm = LmResponse(password, challenge.challenge);
  const NtlmResponse nt = NtResponse(password, challenge.challenge);

  std::vector<std::uint8_t> out(kType3HeaderSize, 0);
  StartMessage(out, 3);
  AppendField(out, 28, {});  // no domain
  AppendField(out, 36, EncodeText(user, unicode));
  AppendField(out, 44, EncodeText(workstation, unicode));
  AppendField(out, 12, lm);
  AppendField(out, 20, nt);
  AppendField(out, 52, {});  // no session key
  const std::uint32_t flags = (unicode ? kNtlmNegotiateUnicode : kNtlmNegotiateOem) | kNtlmRequestTarget |
                              kNtlmNegotiateNtlm | (challenge.flags & kNtlmNegotiateAlwaysSign);
  Put32(out, 60, flags);
  return out;
}

}  // namespace net
