// The registry of content codings: an ordered list of (coding class, default
// quality) pairs to which entries are only ever added. The process-wide one is
// created on first use with "identity" and then "*", both at quality 0, and
// lives until the program ends; it belongs to the loop's thread like the rest
// of the transport. Separate registries serve tests.
#pragma once

#include <string_view>
#include <vector>

#include "net/ContentCoding.h"

namespace net {

struct TCodingRegistryEntry {
  TContentCodingClassRef codingClass = nullptr;
  float quality = 0.0f;
};

class TCodingRegistry {
 public:
  // With `withBuiltInCodings`, starts with identity and "*" at quality 0.
  explicit TCodingRegistry(bool withBuiltInCodings = true);

  void RegisterCoding(TContentCodingClassRef codingClass, float quality);
  // The most recently added class whose token equals `token` without regard to
  // ASCII case, or nullptr. A GetCoding that raises propagates.
  TContentCodingClassRef FindCodingClass(std::string_view token) const;
  const std::vector<TCodingRegistryEntry>& Entries() const { return entries_; }

 private:
  std::vector<TCodingRegistryEntry> entries_;
};

TCodingRegistry& ProcessCodingRegistry();

// The process-wide registry's operations.
void RegisterCoding(TContentCodingClassRef codingClass, float quality);
TContentCodingClassRef FindCodingClass(std::string_view token);

}  // namespace net
