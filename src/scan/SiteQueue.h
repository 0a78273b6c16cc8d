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

  // AddIfAbsent for each of `entries`, in order (so the first of two equal
  // ones is kept); the index is probed ahead, which makes long batches from
  // large pages cheaper than one call per entry.
  void AddAllIfAbsent(std::vector<std::string> entries);

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
  // Appends to entries_ and hashes_ and records the entry in slot `slot`
  // (from FindSlot), growing the index when it gets half full.
  void Append(std::string entry, std::uint32_t hash, std::size_t slot);
  // Sizes the index for `capacity` entries and indexes every entry.
  void Rebuild(std::size_t capacity);

  std::vector<std::string> entries_;
  std::vector<std::uint32_t> hashes_;  // CaselessHash of each entry
  // Open addressing over entries_, at most half full: each slot holds an
  // entry's position + 1, or 0 when empty. Equal entries share the first
  // one's slot. Four bytes a slot keep the index of a large page small.
  std::vector<std::uint32_t> slots_;
};

}  // namespace scan
