#include "scan/ActiveExtensions.h"

#include "app/CommonRoutines.h"

namespace scan {

void FillActiveExtensions(std::string_view activeList, std::vector<std::string>& activeExtensions) {
  app::SplitCommaList(activeList, activeExtensions);
}

bool IsMediaLink(std::string_view link, const std::vector<std::string>& activeExtensions) {
  const std::string lowerLink = app::LowerCase(link);
  for (const std::string& extension : activeExtensions) {
    if (extension.empty()) continue;
    if (lowerLink.find(app::LowerCase(extension)) != std::string::npos) return true;
  }
  return false;
}

}  // namespace scan
