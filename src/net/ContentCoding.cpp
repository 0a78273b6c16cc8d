#include "net/ContentCoding.h"

namespace net {

std::string DefaultCodingToken(std::string_view className) {
  constexpr std::string_view kPrefix = "TContentCoding";
  if (className.substr(0, kPrefix.size()) == kPrefix) return std::string(className.substr(kPrefix.size()));
  throw EContentCodingException("GetCoding must be overriden in " + std::string(className));
}

std::string TContentCodingClass::GetCoding() const { return DefaultCodingToken(ClassName()); }

}  // namespace net
