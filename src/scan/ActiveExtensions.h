// The active extension list and the media-link test built on it. The list
// holds the ActiveList setting's comma-separated pieces, lower-cased and not
// trimmed; a link is a media link when it contains one of them anywhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace scan {

// Replaces `activeExtensions` with the pieces of `activeList`, lower-cased; a
// blank `activeList` leaves the list as it was.
void FillActiveExtensions(std::string_view activeList, std::vector<std::string>& activeExtensions);

// True when the lower-cased link contains some non-empty entry of
// `activeExtensions` as a substring (letter case never matters).
bool IsMediaLink(std::string_view link, const std::vector<std::string>& activeExtensions);

}  // namespace scan
