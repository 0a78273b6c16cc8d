#include "scan/HtmlLinkParser.h"

#include <array>

#include "scan/HtmlUtility.h"

namespace scan {

namespace {

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

template <std::size_t N>
bool OneOf(std::string_view ext, const std::array<std::string_view, N>& list) {
  for (std::string_view entry : list) {
    if (ext == entry) return true;
  }
  return false;
}

constexpr std::array<std::string_view, 8> kImageExtensions = {".JPG", ".JPEG", ".GIF", ".TIF",
                                                               ".PCX", ".PNG",  ".PSD", ".BMP"};
constexpr std::array<std::string_view, 15> kMediaExtensions = {
    ".AVI", ".MP3", ".AU", ".MOV", ".MPG", ".MPEG", ".FLV", ".WMV",
    ".WMA", ".ASF", ".QT", ".MP4", ".MPEG4", ".MPEG-4", ".DIVX"};
constexpr std::array<std::string_view, 3> kJavaExtensions = {".JS", ".CLASS", ".JAVA"};
constexpr std::array<std::string_view, 2> kAspExtensions = {".ASP", ".ASPX"};
constexpr std::array<std::string_view, 2> kPerlExtensions = {".PL", ".CGI"};

// The file-type list of an upper-cased extension, the first matching row
// winning; nullptr when none matches.
TLocalRemote* FileTypeClass(TParsed& parsed, std::string_view ext) {
  if (Contains(ext, "HTM")) return &parsed.HTML;
  if (OneOf(ext, kImageExtensions)) return &parsed.Image;
  if (OneOf(ext, kMediaExtensions)) return &parsed.Media;
  if (OneOf(ext, kJavaExtensions)) return &parsed.Java;
  if (OneOf(ext, kAspExtensions)) return &parsed.ASP;
  if (OneOf(ext, kPerlExtensions)) return &parsed.PERL;
  if (Contains(ext, "PHP") || ext == ".PHTML") return &parsed.PHP;
  if (ext == ".CAB") return &parsed.ActiveX;
  return nullptr;
}

}  // namespace

void HtmlLinkParser::Execute() {
  parsed_.Clear();

  std::size_t size = 0;
  for (const std::string& line : html_) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : html_) {
    text += line;
    text += "\r\n";
  }
  const std::string_view t = text;
  const std::size_t total = t.size();
  if (total == 0) return;

  // n counts the characters consumed; reaching the end inside a text run or
  // an unfinished tag ends the parse without reporting them.
  std::size_t n = 0;
  while (true) {
    if (OnParsing) OnParsing(*this, n, total);

    const std::size_t runStart = n;
    while (n < total && t[n] != '<') ++n;
    if (n >= total) return;
    if (n > runStart) HandleText(t.substr(runStart, n - runStart));

    const std::size_t open = n;
    ++n;
    if (n >= total) return;
    while (t[n] != '>') {
      const char c = t[n];
      if (c == '"' || c == '\'') {
        // A quoted run as a whole: a ">" inside it does not end the tag.
        const std::size_t close = t.find(c, n + 1);
        if (close == std::string_view::npos) return;
        n = close;
      }
      ++n;
      if (n >= total) return;
    }
    HandleTag(t.substr(open + 1, n - open - 1));
    ++n;
    if (n >= total) return;
  }
}

void HtmlLinkParser::HandleText(std::string_view text) {
  if (titleOpen_) {
    titleBuffer_ = std::string(text);
  } else if (OnFoundText) {
    OnFoundText(*this, std::string(text));
  }
}

void HtmlLinkParser::HandleTag(std::string_view tag) {
  if (titleOpen_ && !Contains(UpperCase(tag), "/TITLE")) {
    // Markup inside the title belongs to the title; a link there is not collected.
    titleBuffer_ += '<';
    titleBuffer_ += tag;
    titleBuffer_ += '>';
    return;
  }
  if (OnFoundTag && !Contains(tag, "!--")) OnFoundTag(*this, std::string(tag));

  const std::string name = UpperCase(TagName(tag));
  if (name == "A") {
    HandleLink(tag);
  } else if (name == "IMG") {
    parsed_.Images.push_back(AttributeValue(FindAttribute(tag, "src")));
  } else if (name == "FRAME") {
    parsed_.FramePages.push_back(AttributeValue(FindAttribute(tag, "src")));
  } else if (name == "META") {
    HandleMeta(tag);
  } else if (name == "!--") {
    if (OnFoundComment) {
      std::string comment;
      if (tag.size() > 7) comment = std::string(tag.substr(4, tag.size() - 7));
      OnFoundComment(*this, comment);
    }
  } else if (name == "TITLE") {
    titleOpen_ = true;
  } else if (name == "/TITLE") {
    titleOpen_ = false;
    parsed_.Title = std::move(titleBuffer_);
    titleBuffer_.clear();
  }
}

void HtmlLinkParser::HandleLink(std::string_view tag) {
  std::string link = AttributeValue(FindAttribute(tag, "href"));
  const std::string upper = UpperCase(link);

  const std::string_view fileName = SplitUrlFileName(upper);
  const std::size_t dot = fileName.rfind('.');
  const std::string_view ext = dot == std::string_view::npos ? std::string_view{} : fileName.substr(dot);
  const bool remote = Contains(upper, "HTTP://");
  if (TLocalRemote* kind = FileTypeClass(parsed_, ext)) {
    (remote ? kind->Remote : kind->Local).push_back(link);
  }

  if (Contains(upper, "MAILTO:")) {
    parsed_.EMails.push_back(link.size() > 7 ? link.substr(7) : std::string());
  } else if (Contains(upper, "FTP://")) {
    parsed_.FTPlinks.push_back(link);
  } else if (remote) {
    parsed_.HTTPlinks.push_back(link);
  } else if (!Contains(upper, "://")) {
    parsed_.Locallinks.push_back(link);
  } else if (OnFoundHyperlink) {
    OnFoundHyperlink(*this, link);
  }

  parsed_.Hyperlinks.push_back(std::move(link));
}

void HtmlLinkParser::HandleMeta(std::string_view tag) {
  const std::string name = UpperCase(AttributeValue(FindAttribute(tag, "name")));
  const std::string upperTag = UpperCase(tag);
  std::string value;
  // Found at the tag's very first character does not count.
  auto occursAfterFirst = [&](std::string_view word) {
    const std::size_t at = upperTag.find(word);
    return at != std::string::npos && at > 0;
  };
  if (occursAfterFirst("VALUE")) value = AttributeValue(FindAttribute(tag, "value"));
  if (occursAfterFirst("CONTENT")) value = AttributeValue(FindAttribute(tag, "content"));
  if (value.empty()) return;
  if (name == "KEYWORD" || name == "KEYWORDS") {
    parsed_.Keyword = std::move(value);
  } else if (name == "DESCRIPTION") {
    parsed_.Description = std::move(value);
  }
}

}  // namespace scan
