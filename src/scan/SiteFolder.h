// The folder named after a page's host, under the output folder. A host
// yields no folder when it is empty, "." or "..", or holds a path separator or
// a NUL, so nothing taken from a page names a place outside the output folder.
#pragma once

#include <string>
#include <string_view>

namespace app {
class ErrorLogSink;
}

namespace scan {

class DownloadFolderLister;

// The log line of a folder that cannot be created.
inline constexpr std::string_view kSiteFolderErrorLine =
    "Error: Unable to create destination folder. You may be running low on disk space.";

// The host of an address that begins with "http://" or "https://" (any letter
// case): the text after the scheme up to its first "/". Empty otherwise.
std::string ExtractSiteHost(std::string_view address);

// The site folder's name for a page address: its host with every ":" from the
// third character on replaced by "_" (a port gives "host_8080"); empty when
// the address yields no safe folder name.
std::string SiteFolderName(std::string_view address);

// Re-lists the download folders, then creates outputDir + the site folder (a
// single level) when it does not exist: on success the folders are listed
// again, on failure `log` gets kSiteFolderErrorLine. An address without a safe
// site folder creates nothing.
void PrepareSiteFolder(std::string_view address, const std::string& outputDir, DownloadFolderLister& folders,
                       app::ErrorLogSink& log);

}  // namespace scan
