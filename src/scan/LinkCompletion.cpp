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

// The first position at or after `from` where a query or a fragment begins,
// or where `alsoSlash` is set a path; the text's size when there is none. (A
// plain loop: find_first_of calls memchr once per character.)
std::size_t EndOfPart(std::string_view text, std::size_t from, bool alsoSlash) {
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '?' || c == '#' || (alsoSlash && c == '/')) return i;
  }
  return text.size();
}

// The address without its query and fragment: a "/" there names no folder.
std::string_view PagePath(std::string_view address) { return address.substr(0, EndOfPart(address, 0, false)); }

// "scheme://host" of an address, or empty when it has no "://".
std::string_view Origin(std::string_view address) {
  const std::size_t scheme = address.find("://");
  if (scheme == std::string_view::npos) return {};
  return address.substr(0, EndOfPart(address, scheme + 3, true));
}

// True when the link starts by leaving its folder: "../" or a bare "..".
bool ClimbsUp(std::string_view link) { return link.substr(0, 3) == "../" || link == ".."; }

}  // namespace

std::optional<std::string> CompleteLink(std::string_view address, std::string_view link) {
  // A blank before the scheme does not make the link relative.
  std::string_view probe = link;
  while (!probe.empty() && static_cast<unsigned char>(probe.front()) <= ' ') probe.remove_prefix(1);
  if (HttpSchemeLength(probe) != 0) return std::string(link);
  if (HasScheme(probe)) return std::nullopt;

  // Rooted links belong to the page's host, "//" links to its scheme: joined
  // to the page's folder they name addresses that do not exist.
  const std::string_view page = PagePath(address);
  const std::string_view origin = Origin(page);
  if (!origin.empty() && link.size() >= 2 && link[0] == '/' && link[1] == '/')
    return Joined(origin.substr(0, origin.find("://") + 1), {}, link);
  if (!origin.empty() && !link.empty() && link[0] == '/') return Joined(origin, {}, link);

  // The page's folder; an address that ends at its host has the host's root,
  // not the "//" of its scheme.
  std::string root;
  std::string_view base;
  if (!origin.empty() && page.size() == origin.size()) {
    root = Joined(origin, "/", {});
    base = root;
  } else {
    const std::size_t lastSlash = page.rfind('/');
    base = lastSlash == std::string_view::npos ? std::string_view{} : page.substr(0, lastSlash + 1);
  }
  if (link.find('/') != std::string_view::npos) return ResolveRelativeLink(base, link);
  return Joined(base, {}, link);
}

std::string ResolveRelativeLink(std::string_view base, std::string_view link) {
  // Only a leading "../" leaves the folder; a ".." further on (a name like
  // "a..b", or "sub/../") is the server's to read, as any other segment is.
  if (!ClimbsUp(link)) {
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
  } while (ClimbsUp(link));
  return Joined(base, "/", link);
}

}  // namespace scan
