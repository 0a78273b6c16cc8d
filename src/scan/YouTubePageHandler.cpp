#include "scan/YouTubePageHandler.h"

#include <array>
#include <cstddef>

#include "app/CommonRoutines.h"
#include "scan/SiteQueue.h"
#include "scan/YouTubeSite.h"

namespace scan {

namespace {

// `count` characters of `text` from the 1-based `index` (below 1 counts as
// 1), clipped to the text; nothing for a count below 1.
std::string_view CopyText(std::string_view text, std::ptrdiff_t index, std::ptrdiff_t count) {
  if (index < 1) index = 1;
  if (count < 1 || static_cast<std::size_t>(index) > text.size()) return {};
  return text.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
}

// 1-based position of `sub` in `text`, 0 when absent.
std::ptrdiff_t Pos(std::string_view sub, std::string_view text) {
  return static_cast<std::ptrdiff_t>(app::PosFrom(sub, text, 1));
}

// The text up to its matching closing quote, doubled quotes made single;
// empty when it does not start with a double quote.
std::string Unquote(std::string_view text) {
  std::string out;
  if (text.empty() || text.front() != '"') return out;
  for (std::size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '"') {
      if (i + 1 < text.size() && text[i + 1] == '"') {
        out.push_back('"');
        ++i;
      } else {
        break;
      }
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The value after ":" of the first piece whose name (the text before its
// first ":") equals `name`, letter case ignored; empty when none does.
std::string_view ValueNamed(const std::array<std::string, 4>& pieces, std::string_view name) {
  for (const std::string& piece : pieces) {
    const std::size_t colon = piece.find(':');
    if (colon == std::string::npos) continue;
    if (app::SameText(std::string_view(piece).substr(0, colon), name)) {
      return std::string_view(piece).substr(colon + 1);
    }
  }
  return {};
}

std::string ReplaceAmpEntities(std::string_view text) {
  constexpr std::string_view kAmp = "&amp;";
  const std::string lower = app::LowerCase(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (lower.compare(i, kAmp.size(), kAmp) == 0) {
      out.push_back('&');
      i += kAmp.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

}  // namespace

std::string CutKeyedField(std::string_view text, std::string_view key) {
  const std::ptrdiff_t p = Pos(key, text);
  std::ptrdiff_t c = static_cast<std::ptrdiff_t>(app::PosFrom(",", text, p));
  if (c == 0) c = static_cast<std::ptrdiff_t>(text.size()) + 1;
  return std::string(CopyText(text, p, c - p));
}

bool IsYouTubeVideoPage(std::string_view address, std::string_view pageText) {
  return app::LowerCase(address).find(YouTubeMarker) != std::string::npos &&
         app::ContainsText(pageText, "swfargs");
}

std::string BuildYouTubeEntry(std::string_view pageText) {
  const std::string lower = app::LowerCase(pageText);

  // The contents of the first brace pair after "swfargs".
  const std::ptrdiff_t s = Pos("swfargs", lower);
  const std::ptrdiff_t a = static_cast<std::ptrdiff_t>(app::CharPosFrom(pageText, '{', s)) + 1;
  const std::ptrdiff_t b = static_cast<std::ptrdiff_t>(app::CharPosFrom(pageText, '}', a));
  const std::string_view args = CopyText(pageText, a, b - a);

  // From "fullscreenurl" up to the closing quote before the next ";".
  const std::ptrdiff_t f = Pos("fullscreenurl", lower);
  const std::ptrdiff_t e = static_cast<std::ptrdiff_t>(app::CharPosFrom(pageText, ';', f)) - 1;
  const std::string_view u = CopyText(pageText, f, e - f);
  const std::string_view encodedTitle =
      CopyText(u, Pos("title=", u) + 6, static_cast<std::ptrdiff_t>(u.size()) + 1);
  const std::string title = app::SanitizeFileName(app::UrlDecode(encodedTitle));

  const std::array<std::string, 4> pieces = {
      CutKeyedField(args, "\"video_id\":"), CutKeyedField(args, "\"l\":"),
      CutKeyedField(args, "\"t\":"), CutKeyedField(args, "\"sk\":")};
  auto quoted = [&](std::string_view name) { return app::Trim(Unquote(app::Trim(ValueNamed(pieces, name)))); };
  const std::string videoId = quoted("\"video_id\"");
  const std::string l = app::Trim(ValueNamed(pieces, "\"l\""));
  const std::string t = quoted("\"t\"");
  const std::string sk = quoted("\"sk\"");

  std::string entry = title;
  entry += ",http://";
  entry += YouTubeWebHost;
  entry += YouTubeVideoPath;
  entry += "video_id=" + videoId + "&" + "l=" + l + "&" + "t=" + t + "&sk=" + sk;
  return ReplaceAmpEntities(entry);
}

void HandleYouTubePage(std::string_view pageText, SiteQueue& queue) {
  // Compared in its final form, so scanning the same page again never queues
  // it twice, "&amp;" or not.
  queue.AddIfAbsent(BuildYouTubeEntry(pageText));
}

bool IsYouTubeEntry(std::string_view entry) {
  if (entry.find(YouTubeMarker) == std::string_view::npos) return false;
  const std::size_t comma = entry.find(',');
  if (comma == std::string_view::npos) return false;
  const std::string_view address = entry.substr(comma + 1);
  constexpr std::string_view kScheme = "http://";
  return address.substr(0, kScheme.size()) == kScheme &&
         address.substr(kScheme.size(), YouTubeWebHost.size()) == YouTubeWebHost &&
         address.substr(kScheme.size() + YouTubeWebHost.size(), YouTubeVideoPath.size()) == YouTubeVideoPath;
}

}  // namespace scan
