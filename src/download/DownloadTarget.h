// Where a queue entry is stored: the file name, the site folder under the
// output folder, the target path and the ".$$$" path written while the body
// arrives. Pure text work; the download client does the file system steps.
#pragma once

#include <string>
#include <string_view>

namespace download {

struct TDownloadTarget {
  std::string Address;     // what is requested
  std::string FileName;    // sanitised
  std::string SiteFolder;  // "host/" (":" of a port as "_"), or empty
  std::string TargetPath;  // OutputDir + SiteFolder + FileName
  std::string TempPath;    // TargetPath with the extension ".$$$"
};

// The extension of a path: from the last "." after the last "/", the dot
// included; empty when there is none.
std::string PathExtension(std::string_view path);
// `path` with its extension replaced by `ext` (appended when it has none).
std::string ChangePathExtension(std::string_view path, std::string_view ext);

// The site folder of an address: the text between "//" and the third "/"
// (not looking at the last character), with "/" at its end. Empty when the
// address has fewer slashes, or when the host is empty, "." or "..".
std::string SiteFolderOf(std::string_view address);

// Splits an entry ("name,address"; YouTube entries keep their title as the
// file name with ".flv") and builds the paths under `outputDir` (ending "/").
TDownloadTarget ComputeDownloadTarget(std::string_view entry, std::string_view outputDir);

// part + "_" + a random number from 1 to 29000 + extension, split at the last
// "." of the whole path, repeated until no file of that name exists.
std::string UniqueFileName(const std::string& path);

}  // namespace download
