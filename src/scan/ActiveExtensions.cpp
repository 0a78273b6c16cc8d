#include "scan/ActiveExtensions.h"

#include <algorithm>

#include "app/CommonRoutines.h"

namespace scan {

void FillActiveExtensions(std::string_view activeList, std::vector<std::string>& activeExtensions) {
  app::SplitCommaList(activeList, activeExtensions);
}

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsMediaLink(std::string_view link, const std::vector<std::string>& activeExtensions) {
  // One lower-cased copy per link, in a buffer kept between calls: a page
  // with many links costs no allocation per link.
  thread_local std::string lowerLink;
  lowerLink.assign(link);
  for (char& c : lowerLink) c = Lower(c);
  for (const std::string& extension : activeExtensions) {
    if (extension.empty()) continue;
    const bool lowered = std::none_of(extension.begin(), extension.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    const std::size_t at = lowered ? lowerLink.find(extension) : lowerLink.find(app::LowerCase(extension));
    if (at != std::string::npos) return true;
  }
  return false;
}

}  // namespace scan
