#include "scan/HtmlLinkParser.h"

#include <array>

#include "scan/HtmlUtility.h"
#include "scan/PageText.h"

namespace scan {

namespace {

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool ContainsText(std::string_view text, std::string_view part) {
  return FindIgnoringCase(text, part) != std::string_view::npos;
}

// AttributeValue(FindAttribute(tag, name)): the value as written, empty when
// the tag has none.
std::string_view AttributeOf(std::string_view tag, std::string_view name) {
  const std::optional<std::string_view> attribute = FindAttributeView(tag, name);
  if (!attribute) return {};
  return AttributeValueView(*attribute).value_or(std::string_view{});
}

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

  // The lines are parsed where they are, as if joined with CR LF after each,
  // and moved out and back rather than copied. A handler that assigns HTML
  // meanwhile gets its lines kept; ours are only put back when it did not.
  std::vector<std::string> lines = std::move(html_);
  html_.clear();
  const std::uint64_t generation = ++htmlGeneration_;
  Parse(lines);
  if (htmlGeneration_ == generation) html_ = std::move(lines);
}

void HtmlLinkParser::Parse(const std::vector<std::string>& lines) {
  PageText t(lines);
  const std::size_t total = t.Size();
  if (total == 0) return;
  std::string scratch;

  // n counts the characters consumed; reaching the end inside a text run or
  // an unfinished tag ends the parse without reporting them.
  std::size_t n = 0;
  while (true) {
    if (OnParsing) OnParsing(*this, n, total);

    const std::size_t runStart = n;
    n = t.Find(n, '<');
    if (n >= total) return;
    if (n > runStart && (titleOpen_ || OnFoundText)) HandleText(t.Slice(runStart, n, scratch));

    const std::size_t open = n;
    ++n;
    if (n >= total) return;
    while (true) {
      n = t.FindFirstOf(n, '>', '"', '\'');
      if (n >= total) return;
      const char c = t.At(n);
      if (c == '>') break;
      // A quoted run as a whole: a ">" inside it does not end the tag.
      const std::size_t close = t.Find(n + 1, c);
      if (close >= total) return;
      n = close + 1;
      if (n >= total) return;
    }
    HandleTag(t.Slice(open + 1, n, scratch));
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
  if (titleOpen_ && FindIgnoringCase(tag, "/TITLE") == std::string_view::npos) {
    // Markup inside the title belongs to the title; a link there is not collected.
    titleBuffer_ += '<';
    titleBuffer_ += tag;
    titleBuffer_ += '>';
    return;
  }
  if (OnFoundTag && !Contains(tag, "!--")) OnFoundTag(*this, std::string(tag));

  const std::string name = UpperCase(TagNameView(tag));
  if (name == "A") {
    HandleLink(tag);
  } else if (name == "IMG") {
    parsed_.Images.emplace_back(AttributeOf(tag, "src"));
  } else if (name == "FRAME") {
    parsed_.FramePages.emplace_back(AttributeOf(tag, "src"));
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
  std::string link(AttributeOf(tag, "href"));

  // The tests below all look at the upper-cased link; searching without
  // regard to case gives the same answers without the copy.
  const std::string_view fileName = SplitUrlFileName(link, /*mailtoAnyCase=*/true);
  const std::size_t dot = fileName.rfind('.');
  const std::string ext = dot == std::string_view::npos ? std::string() : UpperCase(fileName.substr(dot));
  const bool remote = ContainsText(link, "HTTP://");
  if (TLocalRemote* kind = FileTypeClass(parsed_, ext)) {
    (remote ? kind->Remote : kind->Local).push_back(link);
  }

  if (ContainsText(link, "MAILTO:")) {
    parsed_.EMails.push_back(link.size() > 7 ? link.substr(7) : std::string());
  } else if (ContainsText(link, "FTP://")) {
    parsed_.FTPlinks.push_back(link);
  } else if (remote) {
    parsed_.HTTPlinks.push_back(link);
  } else if (!Contains(link, "://")) {
    parsed_.Locallinks.push_back(link);
  } else if (OnFoundHyperlink) {
    OnFoundHyperlink(*this, link);
  }

  parsed_.Hyperlinks.push_back(std::move(link));
}

void HtmlLinkParser::HandleMeta(std::string_view tag) {
  const std::string name = UpperCase(AttributeOf(tag, "name"));
  std::string value;
  // Found at the tag's very first character does not count.
  auto occursAfterFirst = [&](std::string_view word) {
    const std::size_t at = FindIgnoringCase(tag, word);
    return at != std::string_view::npos && at > 0;
  };
  if (occursAfterFirst("VALUE")) value = std::string(AttributeOf(tag, "value"));
  if (occursAfterFirst("CONTENT")) value = std::string(AttributeOf(tag, "content"));
  if (value.empty()) return;
  if (name == "KEYWORD" || name == "KEYWORDS") {
    parsed_.Keyword = std::move(value);
  } else if (name == "DESCRIPTION") {
    parsed_.Description = std::move(value);
  }
}

}  // namespace scan
