#include "scan/SiteFolder.h"

#include <sys/stat.h>

#include <cerrno>

#include "app/ErrorLog.h"
#include "scan/LinkScheme.h"
#include "scan/ScanCollaborators.h"

namespace scan {

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string ExtractSiteHost(std::string_view address) {
  const std::size_t scheme = HttpSchemeLength(address);
  if (scheme == 0) return {};
  std::string_view rest = address.substr(scheme);
  return std::string(rest.substr(0, rest.find('/')));
}

std::string SiteFolderName(std::string_view address) {
  std::string host = ExtractSiteHost(address);
  for (std::size_t i = 2; i < host.size(); ++i) {
    if (host[i] == ':') host[i] = '_';
  }
  if (host.empty() || host == "." || host == "..") return {};
  if (host.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) return {};
  return host;
}

void PrepareSiteFolder(std::string_view address, const std::string& outputDir, DownloadFolderLister& folders,
                       app::ErrorLogSink& log) {
  folders.ListDownloadFolders();
  const std::string name = SiteFolderName(address);
  if (name.empty()) return;
  const std::string folder = outputDir + name;
  if (IsFolder(folder)) return;
  if (::mkdir(folder.c_str(), 0777) == 0) {
    folders.ListDownloadFolders();
  } else if (errno == EEXIST && IsFolder(folder)) {
    // Made by someone else in the meantime: it exists, which is all we need.
  } else {
    log.AddLogLine(kSiteFolderErrorLine);
  }
}

}  // namespace scan
