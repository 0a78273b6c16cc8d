// YouTube video pages link to no media file: the video's parameters sit in the
// page's script. This handler cuts them and the title out of the page text and
// builds one "title,address" entry for the site's video address. It never
// reports anything; missing parts of the page only give empty pieces.
#pragma once

#include <string>
#include <string_view>

namespace scan {

class SiteQueue;

// The key and what follows it in `text`, up to (not including) the next ",".
// When the key is absent the text is cut from its start, up to and including
// its first ",".
std::string CutKeyedField(std::string_view text, std::string_view key);

// True when the lower-cased address contains YouTubeMarker and the page text
// contains "swfargs" (letter case ignored): a page for this handler.
bool IsYouTubeVideoPage(std::string_view address, std::string_view pageText);

// The entry for a video page whose text (its lines, each followed by CR LF) is
// `pageText`: the sanitised title, ",", and "http://" YouTubeWebHost
// "/get_video?video_id=..&l=..&t=..&sk=..", with every "&amp;" (any letter
// case) made "&".
std::string BuildYouTubeEntry(std::string_view pageText);

// Appends BuildYouTubeEntry(pageText) to `queue` unless an equal entry (letter
// case ignored) is queued already.
void HandleYouTubePage(std::string_view pageText, SiteQueue& queue);

// True for an entry built by this handler: it contains YouTubeMarker and its
// address (after the first ",") is the video address. The site-queue tick
// hands such entries over unchanged.
bool IsYouTubeEntry(std::string_view entry);

}  // namespace scan
