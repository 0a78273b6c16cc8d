// Profile (INI) files read and written the way the Windows profile functions
// do: section and key names match without regard to case, an absent key gives
// the caller's default, values are kept as stored. The file is read when the
// object is made; `Save` writes the whole file to a temporary file in the
// same folder and renames it over the old one, so a failed write leaves the
// old file whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ProfileFile {
 public:
  // Reads `path`; a missing or unreadable file reads as empty.
  explicit ProfileFile(std::string path);

  const std::string& Path() const { return path_; }

  // The stored value, or `def` when the section or key is absent.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // The stored value as a decimal integer (optional sign, surrounding blanks
  // allowed), or `def` when absent or not a valid integer.
  long long ReadInteger(std::string_view section, std::string_view key, long long def) const;
  bool HasKey(std::string_view section, std::string_view key) const;

  // Sets a key in memory (adding the section or key at its end when new).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  // Writes the file atomically with the given permission bits (new files).
  // Returns false on failure and puts the system's reason into `error`.
  bool Save(std::string* error = nullptr, unsigned mode = 0644) const;

 private:
  struct Line {
    std::string section;  // the section the line belongs to (as written)
    std::string key;      // empty for section lines, comments and blanks
    std::string value;
    std::string raw;      // the line as read, for lines that are not keys
  };
  std::string path_;
  std::vector<Line> lines_;
};

}  // namespace platform
