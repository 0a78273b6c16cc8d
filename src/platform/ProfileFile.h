// Profile (INI) files read and written the way the Windows profile functions
// do: section and key names match without regard to case (ASCII letters) and
// without their surrounding blanks, the first of two equal sections or keys is
// the one read and written, an absent key gives the caller's default. Values
// come back as written: the reader drops blanks around a value and one pair
// of enclosing quotes, and the writer adds such quotes exactly when a value
// needs them, so every value reads back unchanged.
//
// The file is read when the object is made; `WriteString` changes memory only
// and `Save` writes the whole file to a temporary file in the same folder,
// flushes it and renames it over the old one, so the file on disk is always
// either the old one or the new one, never half of either. Lines that are not
// changed (comments, blank lines, unknown keys) are kept as they were.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ProfileFile {
 public:
  // Reads `path`. A missing file reads as empty. Any other failure to read
  // (no permission, a folder, larger than `kMaxFileSize`) also reads as empty
  // but is kept in `ReadError()`, and `Save` then refuses to write so that a
  // file we could not read is never replaced by our partial view of it.
  explicit ProfileFile(std::string path);
  // A profile parsed from `text` as if read from `path` (tests, fuzzing).
  static ProfileFile FromText(std::string path, std::string_view text);

  static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

  const std::string& Path() const { return path_; }
  // Why the file could not be read; empty when it was read or did not exist.
  const std::string& ReadError() const { return readError_; }

  // The stored value, or `def` when the section or key is absent.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // The stored value as a decimal integer (optional sign, surrounding blanks
  // allowed), or `def` when absent, not a valid integer or out of range.
  long long ReadInteger(std::string_view section, std::string_view key, long long def) const;
  bool HasKey(std::string_view section, std::string_view key) const;

  // Sets a key in memory: an existing key keeps its place and spelling, a new
  // key goes after the last key of its section, a new section at the end.
  // Returns false, and changes nothing, when the text cannot be stored in a
  // profile file: a line break in any part, a "]" in the section name, a key
  // that is blank, holds "=" or begins with "[" or ";". `Save` then fails too,
  // so a refused write is never reported as saved.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);

  // Writes the file atomically. A new file gets the permission bits `mode`
  // (not reduced by the umask; 0600 keeps a password to its owner); a file
  // that exists keeps its own bits, reduced to those of `mode`, so a save never
  // opens a file wider than it was. A symbolic link is followed and its target
  // replaced. Returns false on failure and puts the reason into `error`; the
  // old file is then left as it was.
  bool Save(std::string* error = nullptr, unsigned mode = 0644) const;

  // The text `Save` writes.
  std::string Text() const;

 private:
  enum class LineKind {
    Other,    // blank, comment, text before the first section, malformed
    Section,  // "[name]"
    Key,      // "key=value" inside a section
  };
  struct Line {
    LineKind kind = LineKind::Other;
    std::string name;   // section name or key, without surrounding blanks
    std::string value;  // key lines: the value as read back
    std::string raw;    // the line as it is written out
  };

  ProfileFile() = default;
  void Parse(std::string_view text);
  // Index of the section line, or -1.
  long FindSection(std::string_view section) const;
  // Index of the key line within the section starting at `sectionLine`, or -1.
  long FindKey(long sectionLine, std::string_view key) const;

  std::string path_;
  std::string readError_;
  std::string refusedWrite_;  // the first write that could not be stored
  std::vector<Line> lines_;
};

}  // namespace platform
