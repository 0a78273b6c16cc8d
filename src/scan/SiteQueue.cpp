#include "scan/SiteQueue.h"

#include <iterator>

#include "app/CommonRoutines.h"

namespace scan {

bool SiteQueue::Contains(std::string_view entry) const { return counts_.count(app::LowerCase(entry)) != 0; }

void SiteQueue::Add(std::string entry) {
  ++counts_[app::LowerCase(entry)];
  entries_.push_back(std::move(entry));
}

void SiteQueue::Forget(const std::string& entry) {
  auto it = counts_.find(app::LowerCase(entry));
  if (it != counts_.end() && --it->second == 0) counts_.erase(it);
}

void SiteQueue::RemoveFirst(std::size_t count) {
  if (count > entries_.size()) count = entries_.size();
  for (std::size_t i = 0; i < count; ++i) Forget(entries_[i]);
  entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
}

void SiteQueue::ReplaceFirst(std::size_t count, std::vector<std::string> replacement) {
  if (count > entries_.size()) count = entries_.size();
  std::vector<std::string> rest(std::make_move_iterator(entries_.begin() + static_cast<std::ptrdiff_t>(count)),
                                std::make_move_iterator(entries_.end()));
  Clear();
  for (std::string& entry : replacement) Add(std::move(entry));
  for (std::string& entry : rest) Add(std::move(entry));
}

void SiteQueue::Clear() {
  entries_.clear();
  counts_.clear();
}

}  // namespace scan
