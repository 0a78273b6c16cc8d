// The site queue: download candidates found on pages, in the order found,
// waiting for the site-queue tick. Lookups ignore letter case and take
// constant time, so a page with many links is queued in one pass.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace scan {

class SiteQueue {
 public:
  // True when an entry equal to `entry`, letter case ignored, is queued.
  bool Contains(std::string_view entry) const;
  // Appends `entry` (callers test Contains first where duplicates matter).
  void Add(std::string entry);

  std::size_t Count() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  const std::string& operator[](std::size_t index) const { return entries_[index]; }
  const std::vector<std::string>& Entries() const { return entries_; }

  // Removes the first `count` entries (all of them when there are fewer).
  void RemoveFirst(std::size_t count);
  // Puts `replacement` in place of the first `count` entries; later entries
  // stay behind it.
  void ReplaceFirst(std::size_t count, std::vector<std::string> replacement);
  void Clear();

 private:
  void Forget(const std::string& entry);

  std::vector<std::string> entries_;
  // Lower-cased entry -> how many queued entries have that form.
  std::unordered_map<std::string, std::size_t> counts_;
};

}  // namespace scan
