// URL parts and Location resolution.
#include "net/HttpUrl.h"

#include <cctype>

namespace net {

namespace {

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool IsSchemeChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == prefix;
}

// The directory of a path: up to and including its last "/" or ":" before
// any "?".
std::string Directory(std::string_view path) {
  std::string_view p = path.substr(0, path.find('?'));
  std::size_t cut = p.find_last_of("/:");
  if (cut == std::string_view::npos) return "/";
  return std::string(p.substr(0, cut + 1));
}

// Appends a relative value to a directory, each leading "./" dropped and each
// leading "../" removing one directory (never above the root).
std::string Relative(std::string dir, std::string_view rel) {
  for (;;) {
    if (rel.substr(0, 2) == "./") {
      rel.remove_prefix(2);
    } else if (rel.substr(0, 3) == "../") {
      rel.remove_prefix(3);
      if (dir.size() > 1) {
        std::size_t cut = dir.find_last_of('/', dir.size() - 2);
        dir = cut == std::string::npos ? "/" : dir.substr(0, cut + 1);
      }
    } else {
      break;
    }
  }
  return dir + std::string(rel);
}

}  // namespace

std::string StripFragment(std::string_view url) { return std::string(url.substr(0, url.find('#'))); }

THttpUrl ParseURL(std::string_view url, std::string_view currentPath) {
  THttpUrl u;
  u.Proto = "http";
  u.Path = "/";
  if (url.substr(0, 2) == "./" || url.substr(0, 3) == "../") {
    u.Path = Relative(Directory(currentPath), url);
    return u;
  }
  if (!url.empty() && url[0] == '/' && url.substr(0, 2) != "//") {
    u.Path = std::string(url);
    return u;
  }
  std::string_view rest = url;
  std::size_t sep = url.find("://");
  if (sep != std::string_view::npos && sep > 0) {
    bool scheme = true;
    for (char c : url.substr(0, sep)) scheme = scheme && IsSchemeChar(c);
    if (scheme) {
      u.Proto = Lower(url.substr(0, sep));
      rest = url.substr(sep + 3);
    }
  } else if (StartsWithNoCase(url, "mailto:")) {
    u.Proto = "mailto";
    u.Path = std::string(url.substr(7));
    return u;
  } else if (StartsWithNoCase(url, "http:")) {
    u.Path = std::string(url.substr(5));
    if (u.Path.empty()) u.Path = "/";
    return u;
  } else if (url.substr(0, 2) == "//") {
    rest = url.substr(2);
  }
  std::size_t end = rest.find_first_of("/?");
  std::string_view hostPart = rest.substr(0, end);
  if (end != std::string_view::npos) {
    u.Path = std::string(rest.substr(end));
    if (u.Path[0] == '?') u.Path = "/" + u.Path;
  }
  std::size_t at = hostPart.rfind('@');
  if (at != std::string_view::npos) {
    std::string_view userInfo = hostPart.substr(0, at);
    std::size_t colon = userInfo.find(':');
    u.User = std::string(userInfo.substr(0, colon));
    if (colon != std::string_view::npos) u.Pass = std::string(userInfo.substr(colon + 1));
    hostPart = hostPart.substr(at + 1);
  }
  std::size_t colon = hostPart.rfind(':');
  if (colon != std::string_view::npos) {
    u.Port = std::string(hostPart.substr(colon + 1));
    hostPart = hostPart.substr(0, colon);
  }
  u.Host = std::string(hostPart);
  return u;
}

std::string AbsoluteUrl(std::string_view scheme, std::string_view host, std::string_view port, std::string_view path) {
  std::string r = std::string(scheme.empty() ? "http" : scheme) + "://" + std::string(host);
  if (!port.empty()) r += ":" + std::string(port);
  r += path.empty() ? std::string("/") : std::string(path);
  return r;
}

std::string ResolveLocation(std::string_view location, std::string_view scheme, std::string_view host,
                            std::string_view port, std::string_view currentPath) {
  std::string_view keptPort = port == "80" ? std::string_view() : port;
  if (StartsWithNoCase(location, "http://") || StartsWithNoCase(location, "https://")) return std::string(location);
  if (!location.empty() && location[0] == '/' && location.substr(0, 2) != "//")
    return AbsoluteUrl(scheme, host, keptPort, location);
  if (location.substr(0, 2) == "//") return std::string(scheme.empty() ? "http" : scheme) + ":" + std::string(location);
  return AbsoluteUrl(scheme, host, keptPort, Relative(Directory(currentPath), location));
}

}  // namespace net
