#include "download/DownloadTarget.h"

#include <sys/stat.h>

#include <chrono>
#include <random>

#include "app/CommonRoutines.h"
#include "download/YouTubeEntry.h"

namespace download {

std::string PathExtension(std::string_view path) {
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return std::string(path.substr(dot));
}

std::string ChangePathExtension(std::string_view path, std::string_view ext) {
  const std::string current = PathExtension(path);
  return std::string(path.substr(0, path.size() - current.size())) + std::string(ext);
}

std::string SiteFolderOf(std::string_view address) {
  // Count the slashes from the first character, leaving out the last one.
  int slashes = 0;
  std::size_t third = std::string_view::npos;
  for (std::size_t i = 0; i + 1 < address.size(); ++i) {
    if (address[i] == '/' && ++slashes == 3) {
      third = i;
      break;
    }
  }
  if (third == std::string_view::npos) return {};
  std::string folder(address.substr(0, third + 1));
  const auto scheme = folder.find("//");
  if (scheme != std::string::npos) folder.erase(0, scheme + 2);
  // The host becomes one folder name: a port's ":" as "_", as the site queue
  // names the folder, and no way out of the output folder.
  std::string host = folder.substr(0, folder.size() - 1);
  if (host.find('/') != std::string::npos) return {};  // "a//b" forms
  for (char& c : host)
    if (c == ':' || c == '\\') c = '_';
  if (host.empty() || host == "." || host == "..") return {};
  return host + "/";
}

TDownloadTarget ComputeDownloadTarget(std::string_view entry, std::string_view outputDir) {
  TDownloadTarget t;
  const auto comma = entry.find(',');
  const std::string_view name = entry.substr(0, comma == std::string_view::npos ? entry.size() : comma);
  t.Address = std::string(comma == std::string_view::npos ? entry : entry.substr(comma + 1));
  std::string fileName;
  std::string address = t.Address;
  if (IsYouTubeEntry(entry)) {
    fileName = std::string(name) + ".flv";
  } else {
    // Names and folders come from the address without its query. (Taken from
    // the address rather than the whole entry, so that a name that kept a
    // "?" cannot move the file elsewhere.)
    const auto query = address.find('?');
    if (query != std::string::npos) address.erase(query);
    fileName = app::UrlFileName(address);
  }
  t.SiteFolder = SiteFolderOf(address);
  t.FileName = app::SanitizeFileName(fileName);
  // A NUL (a title with "%00") would cut the path short when it is opened.
  for (char& c : t.FileName)
    if (c == '\0') c = '_';
  // A name that would be the site folder itself or its parent.
  if (t.FileName.empty() || t.FileName == "." || t.FileName == "..") t.FileName = "index.html";
  t.TargetPath = std::string(outputDir) + t.SiteFolder + t.FileName;
  t.TempPath = ChangePathExtension(t.TargetPath, ".$$$");
  return t;
}

std::string UniqueFileName(const std::string& path) {
  const auto dot = path.rfind('.');
  const std::string part = dot == std::string::npos ? path : path.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : path.substr(dot);
  std::mt19937 rng(static_cast<std::mt19937::result_type>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> number(1, 29000);
  struct stat st {};
  for (int attempt = 0;; ++attempt) {
    std::string candidate = part + "_" + std::to_string(number(rng)) + ext;
    if (::stat(candidate.c_str(), &st) != 0) return candidate;
    // All 29000 names taken is practically impossible; widen the range
    // rather than loop forever.
    if (attempt > 100000) number = std::uniform_int_distribution<int>(1, 2000000000);
  }
}

}  // namespace download
