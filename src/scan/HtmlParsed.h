// What one run of the HTML parser found: every A tag's link in document order,
// the same links sorted by scheme and by file type, images, frame pages, the
// title and two meta values. Values are stored as written in the page (letter
// case unchanged, no entity decoding, no trimming); lists keep duplicates.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace scan {

// Links of one file type: to `Remote` when the upper-cased link holds
// "HTTP://", else to `Local`.
struct TLocalRemote {
  std::vector<std::string> Local;
  std::vector<std::string> Remote;

  void Clear() {
    Local.clear();
    Remote.clear();
  }
};

struct TParsed {
  std::string Title;
  std::string Keyword;      // content of a meta tag named KEYWORD or KEYWORDS
  std::string Description;  // content of a meta tag named DESCRIPTION

  TLocalRemote HTML;     // pages
  TLocalRemote Image;    // image files
  TLocalRemote Media;    // audio and video files
  TLocalRemote Java;     // scripts and Java files
  TLocalRemote ActiveX;  // cabinet files
  TLocalRemote ASP;
  TLocalRemote PHP;
  TLocalRemote PERL;     // Perl and CGI scripts

  std::vector<std::string> Hyperlinks;  // every A tag's href, even an empty one
  std::vector<std::string> Images;      // every IMG tag's src
  std::vector<std::string> EMails;      // mailto links without "mailto:"
  std::vector<std::string> HTTPlinks;   // links holding "HTTP://"
  std::vector<std::string> FTPlinks;    // links holding "FTP://"
  std::vector<std::string> Locallinks;  // links holding no "://"
  std::vector<std::string> FramePages;  // every FRAME tag's src

  void Clear() {
    Title.clear();
    Keyword.clear();
    Description.clear();
    for (TLocalRemote* kind : {&HTML, &Image, &Media, &Java, &ActiveX, &ASP, &PHP, &PERL}) kind->Clear();
    for (auto* list : {&Hyperlinks, &Images, &EMails, &HTTPlinks, &FTPlinks, &Locallinks, &FramePages}) list->clear();
  }
};

}  // namespace scan
