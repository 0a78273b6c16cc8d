// Scheme tests for links and page addresses. Schemes are case-insensitive;
// "http://" and "https://" are the only ones the program downloads over.
#pragma once

#include <cstddef>
#include <string_view>

namespace scan {

// The length of a leading "http://" or "https://" in any letter case; 0 when
// the text does not begin with one.
std::size_t HttpSchemeLength(std::string_view text);

// True when the text begins with a scheme: a letter, then letters, digits,
// "+", "-" or ".", then ":" (so "mailto:", "ftp://", "javascript:").
bool HasScheme(std::string_view text);

}  // namespace scan
