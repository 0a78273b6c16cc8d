// The start-up pieces that need no window: which arguments are media files or
// playlists, handing them to the playlist, importing ".m3u" files, and the
// "/r" switch. Arguments reach a `PlaylistSink` (the media viewer in the
// program); nothing here reports failures: an argument that is neither media
// nor a playlist is ignored, a playlist that cannot be read stops its import.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace app {

// Receives the paths meant for the playlist, one unchecked entry each.
class PlaylistSink {
 public:
  virtual ~PlaylistSink() = default;
  virtual void AddEntry(const std::string& path) = 0;
};

// The 17 extensions offered to the media viewer, in their fixed order.
const std::vector<std::string>& PlayableExtensions();

// The extension of the lower-cased path: from the last "." after the last
// "/", the dot included; "" when there is none.
std::string LowerCaseExtension(std::string_view path);

// True when some entry of PlayableExtensions() contains the path's extension
// as a substring (so ".mp" counts); a path without extension never does.
bool IsPlayableFile(std::string_view path);

// Hands every line of the playlist file at `path` to `sink`, blanks trimmed,
// except empty lines, lines beginning with "#" and lines holding "://" or
// "www.". A file that cannot be opened or read ends the import silently; what
// was added stays.
void ImportPlaylistFile(const std::string& path, PlaylistSink& sink);
// The same for playlist text already in memory (lines end with LF, CR LF or
// CR).
void ImportPlaylistText(std::string_view text, PlaylistSink& sink);

// The program's own arguments (without the program's name), in order: a
// playable file goes to the sink, a ".m3u" file is imported, anything else
// is ignored.
void HandleArguments(const std::vector<std::string>& arguments, PlaylistSink& sink);
// One argument handed over by a second instance, treated the same way.
void HandleForwardedArgument(const std::string& text, PlaylistSink& sink);

// True when some argument, trimmed, is exactly "/r" (letter case counts).
bool HasUpdateSkipSwitch(const std::vector<std::string>& arguments);

// A relative argument that names an existing entry relative to
// `currentFolder` (ending in "/") is made absolute, so that it still names the
// same file for an instance that runs in another folder; every other argument
// is returned as it stands.
std::string ResolveArgumentPath(const std::string& argument, const std::string& currentFolder);

}  // namespace app
