// The site queue: download candidates found on pages, in the order found,
// waiting for the site-queue tick. Lookups ignore (ASCII) letter case and take
// constant time, so a page with many links is queued in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scan {

class SiteQueue {
 public:
  // True when an entry equal to `entry`, letter case ignored, is queued.
  bool Contains(std::string_view entry) const;
  // Appends `entry` (callers test Contains first where duplicates matter).
  void Add(std::string entry);
  // Appends `entry` unless Contains(entry); true when it was appended.
  bool AddIfAbsent(std::string entry);

  std::size_t Count() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  const std::string& operator[](std::size_t index) const { return entries_[index]; }
  const std::vector<std::string>& Entries() const { return entries_; }

  // Makes room for `count` entries in all, so that adding up to that many
  // does not grow the queue step by step.
  void Reserve(std::size_t count);

  // Removes the first `count` entries (all of them when there are fewer).
  void RemoveFirst(std::size_t count);
  // Puts `replacement` in place of the first `count` entries; later entries
  // stay behind it.
  void ReplaceFirst(std::size_t count, std::vector<std::string> replacement);
  void Clear();

 private:
  // The slot of `entry` in the index: the one holding an equal entry, or the
  // empty one where it would go.
  std::size_t FindSlot(std::string_view entry, std::uint32_t hash) const;
  void Index(std::size_t position, std::uint32_t hash);
  void Rebuild();

  std::vector<std::string> entries_;
  std::vector<std::uint32_t> hashes_;  // CaselessHash of each entry
  // Open addressing over entries_, never more than half full: each slot holds
  // the entry's hash in its high half and its position + 1 in its low half
  // (0 for an empty slot). Equal entries share the first one's slot.
  std::vector<std::uint64_t> slots_;
};

}  // namespace scan
