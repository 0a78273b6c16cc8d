#include "scan/ActiveExtensions.h"

#include <algorithm>

#include "app/CommonRoutines.h"

namespace scan {

void FillActiveExtensions(std::string_view activeList, std::vector<std::string>& activeExtensions) {
  app::SplitCommaList(activeList, activeExtensions);
}

bool IsMediaLink(std::string_view link, const std::vector<std::string>& activeExtensions) {
  const std::string lowerLink = app::LowerCase(link);
  auto sameLowered = [](char inLink, char inExtension) {
    return inLink == ((inExtension >= 'A' && inExtension <= 'Z') ? inExtension - 'A' + 'a' : inExtension);
  };
  for (const std::string& extension : activeExtensions) {
    if (extension.empty()) continue;
    if (std::search(lowerLink.begin(), lowerLink.end(), extension.begin(), extension.end(), sameLowered) !=
        lowerLink.end()) {
      return true;
    }
  }
  return false;
}

}  // namespace scan
