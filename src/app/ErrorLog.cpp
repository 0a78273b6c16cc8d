#include "app/ErrorLog.h"

namespace app {

void ErrorLog::AddLogLine(std::string_view text) {
  lines_.emplace_front(text);
  if (onChanged_) onChanged_();
}

std::string ErrorLog::Text() const {
  std::string text;
  bool first = true;
  for (const std::string& line : lines_) {
    if (!first) text.push_back('\n');
    text += line;
    first = false;
  }
  return text;
}

}  // namespace app
