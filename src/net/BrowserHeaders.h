// The request header values every download of the program sends, so that
// files, pages and updates are all asked for as one browser would ask.
#pragma once

namespace net {

inline constexpr const char* kBrowserAgent =
    "Mozilla/5.0 (Windows; U; Windows NT 5.0; en-US; rv:1.8.1) Gecko/20061010 Firefox/2.0";
inline constexpr const char* kBrowserAccept =
    "text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,image/png,*/*";
inline constexpr const char* kBrowserAcceptLanguage = "en-us,en";

}  // namespace net
