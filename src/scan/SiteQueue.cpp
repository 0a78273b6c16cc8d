#include "scan/SiteQueue.h"

#include <iterator>

#include "app/CommonRoutines.h"

namespace scan {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// FNV-1a over the lower-cased bytes, so entries equal but for letter case
// hash alike.
std::uint32_t CaselessHash(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(Lower(c));
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

std::size_t SiteQueue::FindSlot(std::string_view entry, std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const std::uint32_t slot = slots_[i];
    if (slot == 0) return i;
    if (hashes_[slot - 1] == hash && app::SameText(entries_[slot - 1], entry)) return i;
  }
}

void SiteQueue::Append(std::string entry, std::uint32_t hash, std::size_t slot) {
  entries_.push_back(std::move(entry));
  hashes_.push_back(hash);
  if (entries_.size() * 2 > slots_.size()) {
    Rebuild(entries_.size());  // indexes this entry too
  } else if (slots_[slot] == 0) {
    slots_[slot] = static_cast<std::uint32_t>(entries_.size());
  }
}

void SiteQueue::Rebuild(std::size_t capacity) {
  std::size_t size = 16;
  while (size < capacity * 2) size *= 2;
  slots_.assign(size, 0);
  for (std::size_t position = 0; position < entries_.size(); ++position) {
    const std::size_t i = FindSlot(entries_[position], hashes_[position]);
    if (slots_[i] == 0) slots_[i] = static_cast<std::uint32_t>(position + 1);
  }
}

bool SiteQueue::Contains(std::string_view entry) const {
  if (slots_.empty()) return false;
  return slots_[FindSlot(entry, CaselessHash(entry))] != 0;
}

void SiteQueue::Add(std::string entry) {
  const std::uint32_t hash = CaselessHash(entry);
  const std::size_t slot = slots_.empty() ? 0 : FindSlot(entry, hash);
  Append(std::move(entry), hash, slot);
}

bool SiteQueue::AddIfAbsent(std::string entry) {
  const std::uint32_t hash = CaselessHash(entry);
  const std::size_t slot = slots_.empty() ? 0 : FindSlot(entry, hash);
  if (!slots_.empty() && slots_[slot] != 0) return false;
  Append(std::move(entry), hash, slot);
  return true;
}

void SiteQueue::AddAllIfAbsent(std::vector<std::string> entries) {
  Reserve(entries_.size() + entries.size());
  std::vector<std::uint32_t> hashes;
  hashes.reserve(entries.size());
  for (const std::string& entry : entries) hashes.push_back(CaselessHash(entry));
  // Far enough ahead for the slot to arrive from memory before it is probed.
  constexpr std::size_t kAhead = 8;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i + kAhead < entries.size()) {
      __builtin_prefetch(&slots_[hashes[i + kAhead] & (slots_.size() - 1)]);
    }
    const std::size_t slot = FindSlot(entries[i], hashes[i]);
    if (slots_[slot] == 0) Append(std::move(entries[i]), hashes[i], slot);
  }
}

void SiteQueue::Reserve(std::size_t count) {
  entries_.reserve(count);
  hashes_.reserve(count);
  if (count * 2 > slots_.size()) Rebuild(count);
}

void SiteQueue::RemoveFirst(std::size_t count) {
  if (count > entries_.size()) count = entries_.size();
  entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
  hashes_.erase(hashes_.begin(), hashes_.begin() + static_cast<std::ptrdiff_t>(count));
  Rebuild(entries_.size());
}

void SiteQueue::ReplaceFirst(std::size_t count, std::vector<std::string> replacement) {
  if (count > entries_.size()) count = entries_.size();
  entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
  entries_.insert(entries_.begin(), std::make_move_iterator(replacement.begin()),
                  std::make_move_iterator(replacement.end()));
  hashes_.clear();
  for (const std::string& entry : entries_) hashes_.push_back(CaselessHash(entry));
  Rebuild(entries_.size());
}

void SiteQueue::Clear() {
  entries_.clear();
  hashes_.clear();
  slots_.clear();
}

}  // namespace scan
