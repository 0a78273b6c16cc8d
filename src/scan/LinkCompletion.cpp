#include "scan/LinkCompletion.h"

#include "scan/LinkScheme.h"

namespace scan {

namespace {

// a + b + c in one allocation.
std::string Joined(std::string_view a, std::string_view b, std::string_view c) {
  std::string out;
  out.reserve(a.size() + b.size() + c.size());
  out.append(a).append(b).append(c);
  return out;
}

// "scheme://host" of an address, or empty when it has no "://".
std::string_view Origin(std::string_view address) {
  const std::size_t scheme = address.find("://");
  if (scheme == std::string_view::npos) return {};
  const std::size_t path = address.find('/', scheme + 3);
  return path == std::string_view::npos ? address : address.substr(0, path);
}

}  // namespace

std::optional<std::string> CompleteLink(std::string_view address, std::string_view link) {
  // A blank before the scheme does not make the link relative.
  std::string_view probe = link;
  while (!probe.empty() && static_cast<unsigned char>(probe.front()) <= ' ') probe.remove_prefix(1);
  if (HttpSchemeLength(probe) != 0) return std::string(link);
  if (HasScheme(probe)) return std::nullopt;

  // Rooted links belong to the page's host, "//" links to its scheme: joined
  // to the page's folder they name addresses that do not exist.
  const std::string_view origin = Origin(address);
  if (!origin.empty() && link.size() >= 2 && link[0] == '/' && link[1] == '/')
    return Joined(origin.substr(0, origin.find("://") + 1), {}, link);
  if (!origin.empty() && !link.empty() && link[0] == '/') return Joined(origin, {}, link);

  const std::size_t lastSlash = address.rfind('/');
  const std::string_view base =
      lastSlash == std::string_view::npos ? std::string_view{} : address.substr(0, lastSlash + 1);
  if (link.find('/') != std::string_view::npos) return ResolveRelativeLink(base, link);
  return Joined(base, {}, link);
}

std::string ResolveRelativeLink(std::string_view base, std::string_view link) {
  if (link.find("..") == std::string_view::npos) {
    if (!link.empty() && link.front() == '/') link.remove_prefix(1);
    return Joined(base, {}, link);
  }
  // "../" never climbs above the host: the host is no folder to leave.
  const std::string_view origin = Origin(base);
  if (!base.empty() && base.back() == '/') base.remove_suffix(1);
  do {
    link.remove_prefix(link.size() < 3 ? link.size() : 3);
    if (base.size() > origin.size()) {
      const std::size_t slash = base.rfind('/');
      base = slash == std::string_view::npos ? std::string_view{} : base.substr(0, slash);
      if (base.size() < origin.size()) base = origin;
    }
  } while (link.find("../") != std::string_view::npos);
  return Joined(base, "/", link);
}

}  // namespace scan
