// velmora-get's command line: what the user asked for, parsed without
// touching files or the network, and the overrides it lays over the settings
// record read from "settings.ini". Anything malformed is a usage error with
// one line saying what is wrong.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/ApplicationOptions.h"

namespace app {

inline constexpr int kGetExitOk = 0;
inline constexpr int kGetExitFailed = 1;
inline constexpr int kGetExitUsage = 2;

// The stall time-out of pages and transfers when --timeout is not given.
inline constexpr int kGetDefaultStallMs = 30000;

struct GetOptions {
  // Page (or, with Direct, file) addresses in the order given.
  std::vector<std::string> Addresses;
  // -i: files with further addresses, read after the command line's.
  std::vector<std::string> InputFiles;
  bool Direct = false;
  // -O: the one direct address is written to this file.
  std::string OutputFile;
  // --user USER:PASSWORD, for the servers (pages and files).
  std::optional<std::string> ServerUser;
  std::string ServerPassword;

  // Overrides of settings.ini.
  std::optional<std::string> ActiveList;  // --ext, normalised: ".a,.b"
  std::optional<int> Slots;               // --slots
  std::optional<std::string> OutputDir;   // --out, as given
  std::optional<std::string> ProxyHost;   // --proxy HOST[:PORT]
  std::optional<std::string> ProxyPort;
  std::optional<std::string> ProxyUser;      // --proxy-user
  std::optional<std::string> ProxyPassword;  // --proxy-password
  std::optional<std::uint8_t> Policy;        // --policy: 0 rename, 1 overwrite, 2 skip

  int StallMs = kGetDefaultStallMs;  // --timeout
  bool Help = false;
};

struct GetParseResult {
  enum class Kind { Run, Help, Usage } kind = Kind::Run;
  GetOptions options;
  std::string error;  // for Usage: what is wrong, one line
};

// Parses the arguments after the program's name. Long options take their
// value as the next argument or after "="; "--" ends the options. Input files
// are not read here, so a run without any address is only refused once they
// have been (see CheckAddressCount).
GetParseResult ParseGetArguments(const std::vector<std::string>& arguments);

// Appends the addresses of an address list: one a line, blanks around it
// dropped, empty lines and lines beginning with "#" skipped.
void ReadAddressList(std::istream& in, std::vector<std::string>& addresses);

// The usage error for the address count of a complete set of addresses, or
// "" when it is fine (at least one; exactly one with -O).
std::string CheckAddressCount(const GetOptions& options);

// Lays the command line's overrides over the record read from settings.ini.
// OutputDir is taken as given (the caller makes it absolute).
void ApplyGetOverrides(const GetOptions& options, settings::TApplicationOptions& record);

// The text of --help, and its first lines, shown after a usage error.
std::string GetUsageText();
std::string GetUsageSynopsis();

}  // namespace app
