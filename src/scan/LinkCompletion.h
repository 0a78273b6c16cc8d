// Making a link found on a page absolute against the page's address. A link
// that begins with "http://" or "https://" (any letter case) is absolute and
// kept as written; a link with any other scheme cannot be downloaded and
// completes to nothing. A "/"-rooted link belongs to the page's host and a
// "//" link to its scheme; everything else is joined to the page's folder (the
// address without its query and fragment, up to and including its last "/";
// the host's root when it has no path), and "../" never climbs above the host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scan {

// The address of `link` as found on the page at `address`; nullopt for a link
// with a scheme other than http and https.
std::optional<std::string> CompleteLink(std::string_view address, std::string_view link);

// `link` joined to the folder `base` (ending in "/"): each leading "../" (or a
// bare "..") drops one segment of base, down to its host at most; any other
// link has one leading "/" dropped and is appended.
std::string ResolveRelativeLink(std::string_view base, std::string_view link);

}  // namespace scan
