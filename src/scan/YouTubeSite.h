// What the program relies on from the YouTube site, in one place: the marker
// that makes a page address or a download request a YouTube one, and the host
// of the video requests. The page scanner, the download manager and the
// download client all read these values from here.
#pragma once

#include <string_view>

namespace scan {

// The site's domain name in lower case. A page address or a download request
// that contains it belongs to the YouTube site.
inline constexpr std::string_view YouTubeMarker = "youtube.com";

// The site's main web server; it contains YouTubeMarker, so every video
// request built for it is recognised as a YouTube request downstream.
inline constexpr std::string_view YouTubeWebHost = "www.youtube.com";

// The video service's address before its query.
inline constexpr std::string_view YouTubeVideoPath = "/get_video?";

}  // namespace scan
