#include "platform/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

bool EnclosedInQuotes(std::string_view s) { return s.size() >= 2 && IsQuote(s.front()) && s.front() == s.back(); }

// The value a reader gets from the text after "=".
std::string ValueAsRead(std::string_view stored) {
  std::string_view v = TrimBlanks(stored);
  if (EnclosedInQuotes(v)) v = v.substr(1, v.size() - 2);
  return std::string(v);
}

// The text after "=" that reads back as `value`.
std::string StoredValue(std::string_view value) {
  const bool needsQuotes =
      !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || EnclosedInQuotes(value));
  if (!needsQuotes) return std::string(value);
  std::string s;
  s.reserve(value.size() + 2);
  s += '"';
  s += value;
  s += '"';
  return s;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::string SystemError(const std::string& what, int err) { return what + ": " + std::strerror(err); }

// Reads a whole file; ENOENT is not an error.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT) error = SystemError(path, errno);
    return errno == ENOENT;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = SystemError(path, errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = path + ": not a regular file";
    ::close(fd);
    return false;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = SystemError(path, errno);
      ::close(fd);
      text.clear();
      return false;
    }
    if (n == 0) break;
    if (text.size() + static_cast<std::size_t>(n) > ProfileFile::kMaxFileSize) {
      error = path + ": file too large";
      ::close(fd);
      text.clear();
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) {
  std::string text;
  if (ReadWholeFile(path_, text, readError_)) Parse(text);
}

ProfileFile ProfileFile::FromText(std::string path, std::string_view text) {
  ProfileFile f;
  f.path_ = std::move(path);
  f.Parse(text);
  return f;
}

void ProfileFile::Parse(std::string_view text) {
  lines_.clear();
  bool inSection = false;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // All of them: a line kept with a CR at its end would read differently
    // once written back with its newline.
    while (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    Line line;
    line.raw = std::string(raw);
    std::string_view t = TrimBlanks(raw);
    if (!t.empty() && t.front() == '[') {
      std::string_view name = t.substr(1);
      std::size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      line.kind = LineKind::Section;
      line.name = std::string(TrimBlanks(name));
      inSection = true;
    } else if (inSection && !t.empty() && t.front() != ';') {
      std::size_t eq = t.find('=');
      if (eq != std::string_view::npos) {
        std::string_view key = TrimBlanks(t.substr(0, eq));
        if (!key.empty()) {
          line.kind = LineKind::Key;
          line.name = std::string(key);
          line.value = ValueAsRead(t.substr(eq + 1));
        }
      }
    }
    lines_.push_back(std::move(line));
  }
}

long ProfileFile::FindSection(std::string_view section) const {
  section = TrimBlanks(section);
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == LineKind::Section && SameName(lines_[i].name, section)) return static_cast<long>(i);
  return -1;
}

long ProfileFile::FindKey(long sectionLine, std::string_view key) const {
  key = TrimBlanks(key);
  for (std::size_t i = static_cast<std::size_t>(sectionLine) + 1; i < lines_.size(); ++i) {
    if (lines_[i].kind == LineKind::Section) break;
    if (lines_[i].kind == LineKind::Key && SameName(lines_[i].name, key)) return static_cast<long>(i);
  }
  return -1;
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  long s = FindSection(section);
  long k = s < 0 ? -1 : FindKey(s, key);
  if (k < 0) return std::string(def);
  return lines_[static_cast<std::size_t>(k)].value;
}

long long ProfileFile::ReadInteger(std::string_view section, std::string_view key, long long def) const {
  long s = FindSection(section);
  long k = s < 0 ? -1 : FindKey(s, key);
  if (k < 0) return def;
  std::string_view v = TrimBlanks(lines_[static_cast<std::size_t>(k)].value);
  if (!v.empty() && v.front() == '+') {
    v.remove_prefix(1);
    if (!v.empty() && v.front() == '-') return def;
  }
  if (v.empty()) return def;
  long long result = 0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), result, 10);
  if (ec != std::errc() || end != v.data() + v.size()) return def;
  return result;
}

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const {
  long s = FindSection(section);
  return s >= 0 && FindKey(s, key) >= 0;
}

bool ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  const bool storable = !HasLineBreak(section) && section.find(']') == std::string_view::npos &&
                        !HasLineBreak(key) && !key.empty() && key.find('=') == std::string_view::npos &&
                        key.front() != '[' && key.front() != ';' && !HasLineBreak(value);
  if (!storable) {
    if (refusedWrite_.empty())
      refusedWrite_ = "key \"" + std::string(key) + "\" of section \"" + std::string(section) +
                      "\" cannot be stored in a profile file";
    return false;
  }

  long s = FindSection(section);
  if (s < 0) {
    if (!lines_.empty() && !TrimBlanks(lines_.back().raw).empty()) lines_.push_back(Line{});
    Line header;
    header.kind = LineKind::Section;
    header.name = std::string(section);
    header.raw = "[" + header.name + "]";
    lines_.push_back(std::move(header));
    s = static_cast<long>(lines_.size()) - 1;
  }

  long k = FindKey(s, key);
  if (k >= 0) {
    Line& line = lines_[static_cast<std::size_t>(k)];
    line.value = std::string(value);
    line.raw = line.name + "=" + StoredValue(value);
    return true;
  }

  // After the section's last key (or its header), before trailing blanks and
  // comments that separate it from the next section.
  std::size_t insertAt = static_cast<std::size_t>(s) + 1;
  for (std::size_t i = insertAt; i < lines_.size() && lines_[i].kind != LineKind::Section; ++i)
    if (lines_[i].kind == LineKind::Key) insertAt = i + 1;
  Line line;
  line.kind = LineKind::Key;
  line.name = std::string(key);
  line.value = std::string(value);
  line.raw = line.name + "=" + StoredValue(value);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
  return true;
}

std::string ProfileFile::Text() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.raw;
    text += '\n';
  }
  return text;
}

bool ProfileFile::Save(std::string* error, unsigned mode) const {
  auto fail = [&](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  if (!readError_.empty()) return fail(readError_ + " (the file was not replaced)");
  if (!refusedWrite_.empty()) return fail(path_ + ": " + refusedWrite_);
  if (path_.empty()) return fail("no file name");

  // Replace the file a link points to, not the link.
  std::string target = path_;
  struct stat st {};
  bool exists = ::stat(path_.c_str(), &st) == 0;
  if (exists) {
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
    if (!S_ISREG(st.st_mode)) return fail(path_ + ": not a regular file");
    // A read-only profile stays unwritten, as the system's writer would leave it.
    if (::access(target.c_str(), W_OK) != 0) return fail(SystemError(path_, errno));
  } else if (errno != ENOENT) {
    return fail(SystemError(path_, errno));
  }
  const mode_t bits = exists ? static_cast<mode_t>(st.st_mode & 07777 & mode) : static_cast<mode_t>(mode & 07777);

  const std::string folder = FolderOf(target);
  std::string temp = folder + "/." + NameOf(target) + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(SystemError(path_, errno));

  const std::string text = Text();
  int err = 0;
  if (::fchmod(fd, bits) != 0 || !WriteAll(fd, text) || ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    return fail(SystemError(path_, err));
  }
  // Make the rename itself durable; the new file is in place either way.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace platform
