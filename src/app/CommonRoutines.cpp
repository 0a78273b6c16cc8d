#include "app/CommonRoutines.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/Clock.h"
#include "platform/EventLoop.h"
#include "platform/Shell.h"

namespace app {

namespace {

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Shell wildcard match, letter case ignored: "*" any run, "?" one character.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || LowerChar(pattern[p]) == LowerChar(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Every entry of `folder` that is not a directory (symbolic links followed),
// stored names sorted so that views list the same folder the same way.
std::vector<std::string> NonDirectoryEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return names;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    std::string path = folder + name;
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) continue;
    names.push_back(std::move(name));
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    std::string la = LowerCase(a), lb = LowerCase(b);
    return la != lb ? la < lb : a < b;
  });
  return names;
}

}  // namespace

std::string UrlFileName(std::string_view address) {
  std::size_t slash = address.rfind('/');
  if (slash == std::string_view::npos) return std::string(address);
  return std::string(address.substr(slash + 1));
}

std::string SanitizeFileName(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    switch (c) {
      case '"': case '*': case ',': case '/': case ':':
      case '<': case '>': case '?': case '\\': case '|':
        c = '_';
        break;
      default:
        break;
    }
  }
  return out;
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      std::string_view code = text.substr(i + 1, 2);
      out.push_back(static_cast<char>(HexToInt(code) & 0xFF));
      i += 2;
    } else if (c == '+') {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::uint64_t HexToInt(std::string_view text) {
  if (!text.empty() && (text.back() == 'H' || text.back() == 'h')) text.remove_suffix(1);
  std::uint64_t value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else return 0;
    value = value * 16 + digit;
  }
  return value;
}

std::size_t CharPosFrom(std::string_view text, char c, std::ptrdiff_t start) {
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > text.size()) return 0;
  std::size_t at = text.find(c, static_cast<std::size_t>(start - 1));
  return at == std::string_view::npos ? 0 : at + 1;
}

std::size_t PosFrom(std::string_view sub, std::string_view text, std::ptrdiff_t start) {
  if (sub.empty()) return 0;
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > text.size()) return 0;
  std::size_t at = text.find(sub, static_cast<std::size_t>(start - 1));
  return at == std::string_view::npos ? 0 : at + 1;
}

void SplitCommaList(std::string_view text, std::vector<std::string>& list) {
  if (Trim(text).empty()) return;
  list.clear();
  std::size_t from = 0;
  while (true) {
    std::size_t comma = text.find(',', from);
    std::string_view piece = text.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
    list.push_back(LowerCase(piece));
    if (comma == std::string_view::npos) break;
    from = comma + 1;
  }
}

std::string JoinCommaList(const std::vector<std::string>& list) {
  std::string out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i) out.push_back(',');
    out += list[i];
  }
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

bool ContainsText(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return false;
  if (needle.size() > haystack.size()) return false;
  for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i)
    if (SameText(haystack.substr(i, needle.size()), needle)) return true;
  return false;
}

std::string Trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsTrimmed(text[b])) ++b;
  while (e > b && IsTrimmed(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

void ListFilesIntoView(const std::string& folder, std::string_view pattern, std::vector<FileRow>& rows) {
  const bool everything = pattern == "*.*" || pattern == "*";
  for (std::string& name : NonDirectoryEntries(folder)) {
    if (!everything && !WildcardMatch(pattern, name)) continue;
    rows.push_back(FileRow{LowerCase(name), std::move(name)});
  }
}

void ListFolderMediaFiles(const std::string& folder, std::vector<std::string>& paths) {
  for (const std::string& name : NonDirectoryEntries(folder)) {
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && LowerCase(std::string_view(name).substr(dot)) == ".$$$") continue;
    paths.push_back(folder + name);
  }
}

void OpenSelectedFiles(platform::Shell& shell, const std::string& folder, const std::vector<FileRow>& selectedRows) {
  for (const FileRow& row : selectedRows) shell.Open(folder + row.FileName);
}

std::tm FileTimeToLocalDateTime(std::time_t utc) { return platform::FileTimeToLocal(utc); }

void OpenAddress(platform::Shell& shell, const std::string& address) { shell.Open(address); }

std::string ComposeMailAddress(std::string_view address, std::string_view subject, std::string_view body) {
  std::string mail = "mailto:";
  mail += address;
  mail += "?subject=";
  mail += subject;
  if (!Trim(body).empty()) {
    mail += "&body=";
    mail += body;
  }
  return mail;
}

void ComposeMail(platform::Shell& shell, std::string_view address, std::string_view subject, std::string_view body) {
  shell.Open(ComposeMailAddress(address, subject, body));
}

int EndTaskByWindow(platform::EventLoop& loop, bool /*shutdown*/, bool force) {
  if (force) {
    loop.RequestQuit();
  } else {
    platform::EventLoop* target = &loop;
    loop.PostTask([target] { target->RequestQuit(); });
  }
  return 1;
}

}  // namespace app
