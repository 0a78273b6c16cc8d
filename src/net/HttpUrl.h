// Addresses as the HTTP transport reads them: the parts of a URL (also used
// for the proxy setting) and the resolution of a Location value against the
// current request.
#pragma once

#include <string>
#include <string_view>

namespace net {

struct THttpUrl {
  std::string Proto;  // lower-cased; "http" when none is given
  std::string User;
  std::string Pass;
  std::string Host;
  std::string Port;   // as written; empty when none
  std::string Path;   // with query; "/" when none
};

// Rules: a scheme is the text before "://" when it is made of scheme
// characters only; a value beginning with "/" (not "//") is a path alone;
// "http:" without "//" is scheme and path; "mailto:" gives the scheme
// "mailto". The host part ends at the first "/" or "?"; in it the last "@"
// separates user ":" password, and the last ":" after that the port. A value
// beginning with "./" or "../" is resolved against `currentPath`.
THttpUrl ParseURL(std::string_view url, std::string_view currentPath = "/");

// The absolute address of a Location value received for the request to
// scheme://host[:port]currentPath: a value beginning with "/" keeps scheme,
// host and port; one beginning with "http://" or "https://" (any case) is
// taken as it is; anything else is relative to the directory of the current
// path, each leading "../" removing one directory.
std::string ResolveLocation(std::string_view location, std::string_view scheme, std::string_view host,
                            std::string_view port, std::string_view currentPath);

// scheme "://" host [":" port when given and not empty] path.
std::string AbsoluteUrl(std::string_view scheme, std::string_view host, std::string_view port, std::string_view path);

// The path without any "#" fragment.
std::string StripFragment(std::string_view url);

}  // namespace net
