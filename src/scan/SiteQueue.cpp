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

constexpr std::uint64_t kPositionMask = 0xFFFFFFFFu;

}  // namespace

std::size_t SiteQueue::FindSlot(std::string_view entry, std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const std::uint64_t slot = slots_[i];
    if (slot == 0) return i;
    if (static_cast<std::uint32_t>(slot >> 32) == hash &&
        app::SameText(entries_[(slot & kPositionMask) - 1], entry)) {
      return i;
    }
  }
}

void SiteQueue::Index(std::size_t position, std::uint32_t hash) {
  if ((entries_.size()) * 2 > slots_.size()) {
    Rebuild();  // indexes every entry, this one included
    return;
  }
  const std::size_t i = FindSlot(entries_[position], hash);
  if (slots_[i] == 0) slots_[i] = (static_cast<std::uint64_t>(hash) << 32) | (position + 1);
}

void SiteQueue::Rebuild() {
  std::size_t size = 16;
  while (size < entries_.size() * 2) size *= 2;
  slots_.assign(size, 0);
  for (std::size_t position = 0; position < entries_.size(); ++position) {
    const std::uint32_t hash = hashes_[position];
    const std::size_t i = FindSlot(entries_[position], hash);
    if (slots_[i] == 0) slots_[i] = (static_cast<std::uint64_t>(hash) << 32) | (position + 1);
  }
}

bool SiteQueue::Contains(std::string_view entry) const {
  if (slots_.empty()) return false;
  return slots_[FindSlot(entry, CaselessHash(entry))] != 0;
}

void SiteQueue::Add(std::string entry) {
  const std::uint32_t hash = CaselessHash(entry);
  entries_.push_back(std::move(entry));
  hashes_.push_back(hash);
  Index(entries_.size() - 1, hash);
}

bool SiteQueue::AddIfAbsent(std::string entry) {
  const std::uint32_t hash = CaselessHash(entry);
  if (!slots_.empty() && slots_[FindSlot(entry, hash)] != 0) return false;
  entries_.push_back(std::move(entry));
  hashes_.push_back(hash);
  Index(entries_.size() - 1, hash);
  return true;
}

void SiteQueue::Reserve(std::size_t count) {
  entries_.reserve(count);
  hashes_.reserve(count);
  if (count * 2 > slots_.size()) {
    const std::size_t held = entries_.size();
    // Rebuild sizes the index for what is held; size it for `count` instead.
    std::size_t size = 16;
    while (size < count * 2) size *= 2;
    slots_.assign(size, 0);
    for (std::size_t position = 0; position < held; ++position) {
      const std::size_t i = FindSlot(entries_[position], hashes_[position]);
      if (slots_[i] == 0) slots_[i] = (static_cast<std::uint64_t>(hashes_[position]) << 32) | (position + 1);
    }
  }
}

void SiteQueue::RemoveFirst(std::size_t count) {
  if (count > entries_.size()) count = entries_.size();
  entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
  hashes_.erase(hashes_.begin(), hashes_.begin() + static_cast<std::ptrdiff_t>(count));
  Rebuild();
}

void SiteQueue::ReplaceFirst(std::size_t count, std::vector<std::string> replacement) {
  if (count > entries_.size()) count = entries_.size();
  entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(count));
  entries_.insert(entries_.begin(), std::make_move_iterator(replacement.begin()),
                  std::make_move_iterator(replacement.end()));
  hashes_.clear();
  for (const std::string& entry : entries_) hashes_.push_back(CaselessHash(entry));
  Rebuild();
}

void SiteQueue::Clear() {
  entries_.clear();
  hashes_.clear();
  slots_.clear();
}

}  // namespace scan
