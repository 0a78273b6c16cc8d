// Whether a download request belongs to the YouTube site: the download
// client tests the entry as written, the manager the entry lower-cased.
#pragma once

#include <string_view>

#include "app/CommonRoutines.h"
#include "scan/YouTubeSite.h"

namespace download {

inline bool IsYouTubeEntry(std::string_view entry) {
  return entry.find(scan::YouTubeMarker) != std::string_view::npos;
}

inline bool IsYouTubeEntryAnyCase(std::string_view entry) {
  return app::LowerCase(entry).find(scan::YouTubeMarker) != std::string::npos;
}

}  // namespace download
