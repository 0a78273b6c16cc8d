// Stateless routines shared by the shell, the scanner, the download client and
// the updater: address and file-name texts, list splitting, folder listings and
// thin wrappers around the desktop shell. Positions are 1-based. None of them
// reports a failure: a folder that cannot be read adds nothing, a shell call
// that fails has no effect.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class EventLoop;
class Shell;
}  // namespace platform

namespace app {

// The text after the last "/" of an address; the whole text when it has none.
std::string UrlFileName(std::string_view address);
// Each double quote and each of * , / : < > ? \ | replaced by "_".
std::string SanitizeFileName(std::string_view text);
// "%" plus the next two characters gives the character with that hex code (0
// when they are not hex, fewer than two when the text ends); "+" a blank.
std::string UrlDecode(std::string_view text);
// Hexadecimal value (one trailing "H" allowed, any letter case); 0 for an
// empty text or one with any character that is not hex. Wraps past 64 bits.
std::uint64_t HexToInt(std::string_view text);
// First position of `c` at or after `start` (below 1 counts as 1), or 0.
std::size_t CharPosFrom(std::string_view text, char c, std::ptrdiff_t start);
// First position of `sub` in `text` at or after `start` (below 1 counts as 1),
// or 0; an empty `sub` is never found.
std::size_t PosFrom(std::string_view sub, std::string_view text, std::ptrdiff_t start);
// Fills `list` with the comma-separated pieces of `text`, lower-cased and not
// trimmed, empty pieces kept; a blank `text` leaves `list` as it was.
void SplitCommaList(std::string_view text, std::vector<std::string>& list);
// The entries joined by "," with no trailing comma; "" for an empty list.
std::string JoinCommaList(const std::vector<std::string>& list);

// Lower-case of a byte string (ASCII letters only, as the system code page does
// for the characters the program compares).
std::string LowerCase(std::string_view text);
// Case-insensitive equality and substring search (ASCII letters).
bool SameText(std::string_view a, std::string_view b);
bool ContainsText(std::string_view haystack, std::string_view needle);
// Leading and trailing blanks and control characters (bytes up to 32) removed.
std::string Trim(std::string_view text);

// One row of a files view: the lower-cased name it shows, and the name as
// stored, which every file action uses (names differ only in case on disk).
struct FileRow {
  std::string Caption;
  std::string FileName;
};

// Appends one row for every entry of `folder` (ending in "/") that is not a
// directory and whose name matches `pattern` (wildcards * and ?, letter case
// ignored; "*.*" matches every name, as the shell's pattern does), in name
// order. Hidden files count.
void ListFilesIntoView(const std::string& folder, std::string_view pattern, std::vector<FileRow>& rows);
// Appends folder + stored name of every entry of `folder` (ending in "/") that
// is not a directory and whose lower-cased extension is not ".$$$", in name
// order.
void ListFolderMediaFiles(const std::string& folder, std::vector<std::string>& paths);
// Opens folder + stored name of every selected row with the shell.
void OpenSelectedFiles(platform::Shell& shell, const std::string& folder, const std::vector<FileRow>& selectedRows);
// The same instant as a local date-time.
std::tm FileTimeToLocalDateTime(std::time_t utc);
// The shell's open verb on an address or path.
void OpenAddress(platform::Shell& shell, const std::string& address);
// "mailto:" + address + "?subject=" + subject [+ "&body=" + body when the body
// is not blank].
std::string ComposeMailAddress(std::string_view address, std::string_view subject, std::string_view body);
void ComposeMail(platform::Shell& shell, std::string_view address, std::string_view subject, std::string_view body);
// Asks the program's own loop to end. Without `force` the request is posted,
// so work already queued runs first (a polite close); with `force` the loop is
// terminated at once and ends after the current pass. `shutdown` is accepted
// for the callers' sake and changes nothing: the only window ever ended is
// the program's own. Returns 1, as the system call it stands in for does on
// success.
int EndTaskByWindow(platform::EventLoop& loop, bool shutdown, bool force);

}  // namespace app
