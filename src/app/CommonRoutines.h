// Stateless routines shared by the shell, the scanner, the download client and
// the updater: address and file-name texts, list splitting, folder listings and
// thin wrappers around the desktop shell. Positions are 1-based.
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
// "%" plus two characters gives the character with that hex code; "+" a blank.
std::string UrlDecode(std::string_view text);
// Hexadecimal value (one trailing "H" allowed); 0 for anything not hex.
std::uint64_t HexToInt(std::string_view text);
// First position of `c` at or after `start` (below 1 counts as 1), or 0.
std::size_t CharPosFrom(std::string_view text, char c, std::ptrdiff_t start);
// First position of `sub` in `text` at or after `start` (below 1 counts as 1), or 0.
std::size_t PosFrom(std::string_view sub, std::string_view text, std::ptrdiff_t start);
// Fills `list` with the comma-separated pieces of `text`, lower-cased and not
// trimmed; a blank `text` leaves `list` as it was.
void SplitCommaList(std::string_view text, std::vector<std::string>& list);

// Lower-case of a byte string (ASCII letters only, as the system code page does
// for the characters the program compares).
std::string LowerCase(std::string_view text);
// Case-insensitive equality and substring search (ASCII letters).
bool SameText(std::string_view a, std::string_view b);
bool ContainsText(std::string_view haystack, std::string_view needle);
// Leading and trailing blanks and control characters removed.
std::string Trim(std::string_view text);

// Appends the lower-cased name of every file (not directory) in `folder` whose
// name matches `pattern` (shell wildcards * and ?).
void ListFilesIntoView(const std::string& folder, std::string_view pattern, std::vector<std::string>& rows);
// Appends the lower-cased full path of every file in `folder` whose extension
// is not ".$$$".
void ListFolderMediaFiles(const std::string& folder, std::vector<std::string>& paths);
// Opens folder + name of every selected row with the shell.
void OpenSelectedFiles(platform::Shell& shell, const std::string& folder, const std::vector<std::string>& selectedRows);
// The same instant as a local date-time.
std::tm FileTimeToLocalDateTime(std::time_t utc);
// The shell's open verb on an address or path.
void OpenAddress(platform::Shell& shell, const std::string& address);
// "mailto:" + address + "?subject=" + subject [+ "&body=" + body].
std::string ComposeMailAddress(std::string_view address, std::string_view subject, std::string_view body);
void ComposeMail(platform::Shell& shell, std::string_view address, std::string_view subject, std::string_view body);
// Asks the program's own loop to end; `force` ends it without further passes.
// Returns 1 as the system call it stands in for does on success.
int EndTaskByWindow(platform::EventLoop& loop, bool shutdown, bool force);

}  // namespace app
