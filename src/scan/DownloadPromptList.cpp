#include "scan/DownloadPromptList.h"

namespace scan {

std::string PromptRowText(std::string_view entry) { return std::string(entry.substr(0, entry.find(','))); }

DownloadPromptList::DownloadPromptList(const std::vector<std::string>& entries) {
  rows_.reserve(entries.size());
  for (const std::string& entry : entries) rows_.push_back(PromptRowText(entry));
  checked_.assign(rows_.size(), true);
}

void DownloadPromptList::Invert() {
  for (std::size_t i = 0; i < checked_.size(); ++i) checked_[i] = !checked_[i];
}

void DownloadPromptList::CheckAll() { checked_.assign(checked_.size(), true); }

void DownloadPromptList::UnCheckAll() { checked_.assign(checked_.size(), false); }

std::string DownloadPromptList::CountText() const {
  return std::to_string(rows_.size()) + " files available for download.";
}

void DownloadPromptList::ApplyTo(std::vector<std::string>& entries) const {
  for (std::size_t row = checked_.size(); row-- > 0;) {
    if (!checked_[row] && row < entries.size()) {
      entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(row));
    }
  }
}

}  // namespace scan
