#include "app/Startup.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "app/CommonRoutines.h"

namespace app {

namespace {

void ImportPlaylistLine(std::string_view raw, PlaylistSink& sink) {
  std::string line = Trim(raw);
  if (line.empty() || line[0] == '#') return;
  if (line.find("://") != std::string::npos || line.find("www.") != std::string::npos) return;
  sink.AddEntry(line);
}

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// Hands every complete line of `text` to the sink and returns the unfinished
// rest. A CR LF pair yields an empty line between them, which is skipped.
std::string_view ImportCompleteLines(std::string_view text, PlaylistSink& sink) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsLineEnd(text[i])) continue;
    ImportPlaylistLine(text.substr(from, i - from), sink);
    from = i + 1;
  }
  return text.substr(from);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

const std::vector<std::string>& PlayableExtensions() {
  static const std::vector<std::string> extensions = {
      ".divx", ".xvid", ".mpeg-4", ".mpeg4", ".qt", ".mov", ".mjpeg", ".dv", ".flv",
      ".mp4",  ".mpg",  ".mpeg",   ".mp3",   ".avi", ".wmv", ".wma",  ".au"};
  return extensions;
}

std::string LowerCaseExtension(std::string_view path) {
  std::size_t dot = path.rfind('.');
  std::size_t slash = path.rfind('/');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return LowerCase(path.substr(dot));
}

bool IsPlayableFile(std::string_view path) {
  std::string extension = LowerCaseExtension(path);
  if (extension.empty()) return false;
  for (const std::string& entry : PlayableExtensions())
    if (entry.find(extension) != std::string::npos) return true;
  return false;
}

void ImportPlaylistText(std::string_view text, PlaylistSink& sink) {
  std::string_view rest = ImportCompleteLines(text, sink);
  ImportPlaylistLine(rest, sink);
}

void ImportPlaylistFile(const std::string& path, PlaylistSink& sink) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return;
  std::string pending;
  char buffer[16384];
  while (true) {
    std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    if (got > 0) {
      std::string_view chunk(buffer, got);
      std::size_t lastEnd = chunk.find_last_of("\r\n");
      if (lastEnd == std::string_view::npos) {
        pending.append(chunk);  // still inside one line
      } else {
        pending.append(chunk.substr(0, lastEnd + 1));
        ImportCompleteLines(pending, sink);
        pending.assign(chunk.substr(lastEnd + 1));
      }
    }
    if (got < sizeof buffer) {
      // A read error drops the unfinished line; the end of the file ends it.
      if (std::ferror(file.get())) return;
      if (std::feof(file.get())) break;
    }
  }
  ImportPlaylistLine(pending, sink);
}

void HandleForwardedArgument(const std::string& text, PlaylistSink& sink) {
  if (IsPlayableFile(text)) {
    sink.AddEntry(text);
  } else if (LowerCaseExtension(text) == ".m3u") {
    ImportPlaylistFile(text, sink);
  }
}

void HandleArguments(const std::vector<std::string>& arguments, PlaylistSink& sink) {
  for (const std::string& argument : arguments) HandleForwardedArgument(argument, sink);
}

bool HasUpdateSkipSwitch(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments)
    if (Trim(argument) == "/r") return true;
  return false;
}

std::string ResolveArgumentPath(const std::string& argument, const std::string& currentFolder) {
  if (argument.empty() || argument[0] == '/' || currentFolder.empty()) return argument;
  std::string absolute = currentFolder;
  if (absolute.back() != '/') absolute.push_back('/');
  absolute += argument;
  struct stat st {};
  if (::stat(absolute.c_str(), &st) != 0) return argument;
  return absolute;
}

}  // namespace app
