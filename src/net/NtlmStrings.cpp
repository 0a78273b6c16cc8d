#include "net/NtlmStrings.h"

namespace net {
namespace {

// The code point of the UTF-8 sequence at text[pos], advancing pos; an invalid
// or overlong sequence yields its first byte as a Latin-1 character.
char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  int extra = 0;
  char32_t cp = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    ++pos;
    return lead;
  }
  if (pos + extra >= text.size()) {  // sequence cut short
    ++pos;
    return lead;
  }
  for (int i = 1; i <= extra; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return lead;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  constexpr char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return lead;
  }
  pos += extra + 1;
  return cp;
}

void AppendUnit(std::vector<std::uint8_t>& out, char32_t unit) {
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  out.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::vector<std::uint8_t> Utf8ToUtf16Le(std::string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2);
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t cp = NextCodePoint(text, pos);
    if (cp >= 0x10000) {
      const char32_t v = cp - 0x10000;
      AppendUnit(out, 0xD800 + (v >> 10));
      AppendUnit(out, 0xDC00 + (v & 0x3FF));
    } else {
      AppendUnit(out, cp);
    }
  }
  return out;
}

std::string Utf16LeToUtf8(std::span<const std::uint8_t> bytes) {
  constexpr char32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const char32_t unit = bytes[i] | (char32_t{bytes[i + 1]} << 8);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = bytes[i + 2] | (char32_t{bytes[i + 3]} << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, (unit >= 0xD800 && unit <= 0xDFFF) ? kReplacement : unit);
  }
  if (i < bytes.size()) AppendUtf8(out, kReplacement);
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace net
