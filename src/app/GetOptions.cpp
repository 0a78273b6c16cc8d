#include "app/GetOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/CommonRoutines.h"

namespace app {

namespace {

// A whole decimal number in [low, high], nothing else around it.
std::optional<long> WholeNumber(const std::string& text, long low, long high) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9)
    return std::nullopt;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value < low || value > high) return std::nullopt;
  return value;
}

// "--ext" accepts "flv,.MP4": each piece lower-cased, with its leading dot.
// Empty pieces are refused: they would match nothing and hide a typing slip.
std::optional<std::string> NormaliseExtensions(const std::string& text) {
  std::vector<std::string> pieces;
  SplitCommaList(text, pieces);
  if (pieces.empty()) return std::nullopt;
  for (std::string& piece : pieces) {
    piece = Trim(piece);
    if (piece.empty() || piece == ".") return std::nullopt;
    if (piece.front() != '.') piece.insert(piece.begin(), '.');
  }
  return JoinCommaList(pieces);
}

// The option names that take a value.
bool TakesValue(std::string_view name) {
  static constexpr std::string_view kNames[] = {"-O",    "-i",      "--user",       "--ext",
                                                "--slots", "--out", "--proxy", "--proxy-user", "--proxy-password",
                                                "--policy", "--timeout"};
  for (std::string_view n : kNames)
    if (n == name) return true;
  return false;
}

}  // namespace

GetParseResult ParseGetArguments(const std::vector<std::string>& arguments) {
  GetParseResult result;
  GetOptions& o = result.options;
  auto usage = [&result](std::string error) {
    result.kind = GetParseResult::Kind::Usage;
    result.error = std::move(error);
    return result;
  };

  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    if (optionsEnded || arg.empty() || arg[0] != '-') {
      if (arg.empty()) return usage("an empty address was given");
      o.Addresses.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    std::string name = arg;
    std::optional<std::string> value;
    if (arg.rfind("--", 0) == 0) {
      const auto eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
      }
    }
    if (TakesValue(name)) {
      if (!value) {
        if (i + 1 >= arguments.size()) return usage(name + " needs a value");
        value = arguments[++i];
      }
    } else if (value) {
      return usage(name + " takes no value");
    }

    if (name == "-h" || name == "--help") {
      o.Help = true;
    } else if (name == "--direct") {
      o.Direct = true;
    } else if (name == "-O") {
      if (value->empty()) return usage("-O needs a file name");
      o.OutputFile = *value;
    } else if (name == "-i") {
      if (value->empty()) return usage("-i needs a file name");
      o.InputFiles.push_back(*value);
    } else if (name == "--user") {
      const auto colon = value->find(':');
      if (colon == std::string::npos || colon == 0) return usage("--user needs USER:PASSWORD");
      o.ServerUser = value->substr(0, colon);
      o.ServerPassword = value->substr(colon + 1);
    } else if (name == "--ext") {
      o.ActiveList = NormaliseExtensions(*value);
      if (!o.ActiveList) return usage("--ext needs a list of extensions such as .flv,.mp4");
    } else if (name == "--slots") {
      const auto slots = WholeNumber(*value, 1, 250);
      if (!slots) return usage("--slots needs a number from 1 to 250");
      o.Slots = static_cast<int>(*slots);
    } else if (name == "--out") {
      if (value->empty()) return usage("--out needs a folder");
      o.OutputDir = *value;
    } else if (name == "--proxy") {
      // HOST or HOST:PORT; the port defaults to 80 as the download clients' does.
      std::string host = *value;
      std::string port = "80";
      const auto colon = host.rfind(':');
      if (colon != std::string::npos) {
        port = host.substr(colon + 1);
        host.resize(colon);
        if (!WholeNumber(port, 1, 65535)) return usage("--proxy needs HOST:PORT with a port from 1 to 65535");
      }
      if (host.empty()) return usage("--proxy needs HOST:PORT");
      o.ProxyHost = host;
      o.ProxyPort = port;
    } else if (name == "--proxy-user") {
      o.ProxyUser = *value;
    } else if (name == "--proxy-password") {
      o.ProxyPassword = *value;
    } else if (name == "--policy") {
      if (*value == "rename")
        o.Policy = 0;
      else if (*value == "overwrite")
        o.Policy = 1;
      else if (*value == "skip")
        o.Policy = 2;
      else
        return usage("--policy needs rename, overwrite or skip");
    } else if (name == "--timeout") {
      char* end = nullptr;
      errno = 0;
      const double seconds = value->empty() ? 0 : std::strtod(value->c_str(), &end);
      if (value->empty() || *end != '\0' || errno != 0 || !std::isfinite(seconds) || seconds <= 0 ||
          seconds > 86400)
        return usage("--timeout needs a number of seconds above 0");
      o.StallMs = std::max(1, static_cast<int>(std::lround(seconds * 1000)));
    } else {
      return usage("unknown option " + name);
    }
  }

  if (o.Help) {
    result.kind = GetParseResult::Kind::Help;
    return result;
  }
  if (!o.OutputFile.empty() && !o.Direct) return usage("-O needs --direct");
  if (o.InputFiles.empty()) {
    std::string error = CheckAddressCount(o);
    if (!error.empty()) return usage(std::move(error));
  }
  return result;
}

void ReadAddressList(std::istream& in, std::vector<std::string>& addresses) {
  for (std::string line; std::getline(in, line);) {
    std::string address = Trim(line);
    if (address.empty() || address.front() == '#') continue;
    addresses.push_back(std::move(address));
  }
}

std::string CheckAddressCount(const GetOptions& options) {
  if (options.Addresses.empty()) return "no address given";
  if (!options.OutputFile.empty() && options.Addresses.size() != 1) return "-O takes exactly one address";
  return {};
}

void ApplyGetOverrides(const GetOptions& options, settings::TApplicationOptions& record) {
  if (options.ActiveList) record.ActiveList = *options.ActiveList;
  if (options.Slots) record.MaxThreads = *options.Slots;
  if (options.OutputDir) record.OutputDir = *options.OutputDir;
  if (options.ProxyHost) {
    record.Proxy = *options.ProxyHost;
    record.ProxyPort = *options.ProxyPort;
  }
  if (options.ProxyUser) record.Username = *options.ProxyUser;
  if (options.ProxyPassword) record.Password = *options.ProxyPassword;
  if (options.Policy) record.OverwriteExistingFile = *options.Policy;
  // Nobody is there to answer the download selection prompt.
  record.LeechPrompt = 0;
}

std::string GetUsageSynopsis() {
  return "Usage: velmora-get [options] PAGE-ADDRESS...\n"
         "       velmora-get [options] --direct FILE-ADDRESS...\n";
}

std::string GetUsageText() {
  return GetUsageSynopsis() + R"(
Fetches each page, picks out every link that carries one of the active media
extensions, and downloads those files into OUTPUT-FOLDER/HOST/, one folder per
site, as the Velmora desktop program does. Files are written as NAME.$$$ and
renamed when complete; a failed transfer leaves its .$$$ file behind.

Options:
  --direct              take each address as a file to download, not as a page;
                        every such address is downloaded whatever its extension
                        (it must have one)
  -O FILE               with --direct and one address: write that file to FILE
                        (an existing FILE is replaced once the file is complete)
  -i FILE               read further addresses from FILE, one a line; blank lines
                        and lines beginning with "#" are skipped ("-" reads the
                        standard input)
  --user USER:PASSWORD  credentials for the web servers (Basic or NTLM, as the
                        server asks)
  --ext LIST            active extensions, e.g. .flv,.mp4 (ActiveList)
  --slots N             transfers at once, 1 to 250 (MaxThreads)
  --out DIR             output folder, created when missing (OutputDir)
  --proxy HOST:PORT     HTTP proxy for pages and files (Proxy, ProxyPort)
  --proxy-user USER     proxy user name (Username)
  --proxy-password PW   proxy password (Password)
  --policy P            when the file exists: rename (a numbered new name),
                        overwrite, or skip (OverwriteExistingFile)
  --timeout SECONDS     give up a page or transfer after this long without
                        progress (default 30)
  -h, --help            show this text

The options in brackets override the keys of "settings.ini", which is read
from the program's folder (the folder of velmora-get, or $VELMORA_HOME) and
never written.

On a terminal one line per slot shows the file, its progress, speed and time
left; otherwise one line is printed per finished or skipped file. Error lines
go to the standard error.

Exit status: 0 when every transfer finished (skipped files included),
1 when a transfer failed or a page could not be fetched, 2 on bad usage.

Example:
  velmora-get --out ~/clips --ext .flv,.mp4 http://example.com/videos.html
)";
}

}  // namespace app
