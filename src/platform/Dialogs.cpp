#include "platform/Dialogs.h"

#include <cstdio>

namespace platform {

TMessageResult RecordingDialogs::MessageBox(const std::string& text, const std::string& caption, TMessageKind) {
  last_ = text;
  ++count_;
  if (echo_) std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
  return answer_;
}

}  // namespace platform
