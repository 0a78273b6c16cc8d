#include "net/ContentCodingRegistry.h"

namespace net {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

TCodingRegistry::TCodingRegistry(bool withBuiltInCodings) {
  if (withBuiltInCodings) {
    RegisterCoding(CodingClass<TCodingIdentity>(), 0.0f);
    RegisterCoding(CodingClass<TCodingStar>(), 0.0f);
  }
}

void TCodingRegistry::RegisterCoding(TContentCodingClassRef codingClass, float quality) {
  entries_.push_back({codingClass, quality});
}

TContentCodingClassRef TCodingRegistry::FindCodingClass(std::string_view token) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (EqualsIgnoringCase(it->codingClass->GetCoding(), token)) return it->codingClass;
  }
  return nullptr;
}

TCodingRegistry& ProcessCodingRegistry() {
  static TCodingRegistry registry;
  return registry;
}

void RegisterCoding(TContentCodingClassRef codingClass, float quality) {
  ProcessCodingRegistry().RegisterCoding(codingClass, quality);
}

TContentCodingClassRef FindCodingClass(std::string_view token) { return ProcessCodingRegistry().FindCodingClass(token); }

}  // namespace net
