#include "scan/LinkScheme.h"

#include "app/CommonRoutines.h"

namespace scan {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithText(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && app::SameText(text.substr(0, prefix.size()), prefix);
}

}  // namespace

std::size_t HttpSchemeLength(std::string_view text) {
  for (std::string_view prefix : {std::string_view("http://"), std::string_view("https://")}) {
    if (StartsWithText(text, prefix)) return prefix.size();
  }
  return 0;
}

bool HasScheme(std::string_view text) {
  if (text.empty() || !IsLetter(text[0])) return false;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ':') return true;
    if (!IsLetter(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

}  // namespace scan
