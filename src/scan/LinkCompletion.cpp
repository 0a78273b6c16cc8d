#include "scan/LinkCompletion.h"

#include "scan/LinkScheme.h"

namespace scan {

std::optional<std::string> CompleteLink(std::string_view address, std::string_view link) {
  // A blank before the scheme does not make the link relative.
  std::string_view probe = link;
  while (!probe.empty() && static_cast<unsigned char>(probe.front()) <= ' ') probe.remove_prefix(1);
  if (HttpSchemeLength(probe) != 0) return std::string(link);
  if (HasScheme(probe)) return std::nullopt;

  const std::size_t lastSlash = address.rfind('/');
  const std::string_view base =
      lastSlash == std::string_view::npos ? std::string_view{} : address.substr(0, lastSlash + 1);
  if (link.find('/') != std::string_view::npos) return ResolveRelativeLink(base, link);
  std::string completed(base);
  completed += link;
  return completed;
}

std::string ResolveRelativeLink(std::string_view base, std::string_view link) {
  if (link.find("..") == std::string_view::npos) {
    if (!link.empty() && link.front() == '/') link.remove_prefix(1);
    std::string joined(base);
    joined += link;
    return joined;
  }
  if (!base.empty() && base.back() == '/') base.remove_suffix(1);
  do {
    link.remove_prefix(link.size() < 3 ? link.size() : 3);
    const std::size_t slash = base.rfind('/');
    base = slash == std::string_view::npos ? std::string_view{} : base.substr(0, slash);
  } while (link.find("../") != std::string_view::npos);
  std::string joined(base);
  joined += '/';
  joined += link;
  return joined;
}

}  // namespace scan
