// velmora-get: the download engine without a display. It reads
// "settings.ini" from the program's folder (never writing it), lays the
// command line over it and runs one session on the headless loop.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/GetOptions.h"
#include "app/GetSession.h"
#include "platform/EventLoop.h"
#include "platform/ProgramPaths.h"
#include "settings/SettingsStore.h"

namespace {

void WriteAll(FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

int TerminalSize(bool columns) {
  winsize ws{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0) return 0;
  return columns ? ws.ws_col : ws.ws_row;
}

// `path` made absolute against the folder we were started in.
std::string Absolute(const std::string& path, const std::string& startFolder) {
  if (path.empty() || path.front() == '/') return path;
  return startFolder + path;
}

int UsageError(const std::string& error) {
  std::fprintf(stderr, "velmora-get: %s\n%sRun \"velmora-get --help\" for the options.\n", error.c_str(),
               app::GetUsageSynopsis().c_str());
  return app::kGetExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  app::GetParseResult parsed = app::ParseGetArguments(arguments);
  if (parsed.kind == app::GetParseResult::Kind::Help) {
    WriteAll(stdout, app::GetUsageText());
    return app::kGetExitOk;
  }
  if (parsed.kind == app::GetParseResult::Kind::Usage) return UsageError(parsed.error);
  app::GetOptions& options = parsed.options;

  for (const std::string& file : options.InputFiles) {
    if (file == "-") {
      app::ReadAddressList(std::cin, options.Addresses);
      continue;
    }
    std::ifstream in(file);
    if (!in) return UsageError("cannot read " + file + ": " + std::strerror(errno));
    app::ReadAddressList(in, options.Addresses);
  }
  if (std::string error = app::CheckAddressCount(options); !error.empty()) return UsageError(error);

  // Paths on the command line count from where we were started; the settings
  // check of the output folder leaves the current folder where it is.
  std::string startFolder = platform::CurrentFolder();
  settings::SettingsStore store;
  store.LoadOptionsReadOnly();

  app::GetSessionSettings session;
  session.options = store.Options();
  app::ApplyGetOverrides(options, session.options);
  if (options.OutputDir) {
    const std::string folder = platform::WithTrailingSlash(Absolute(*options.OutputDir, startFolder));
    if (!platform::MakeFolders(folder, 0755)) {
      std::fprintf(stderr, "Error: Unable to create the output folder %s (%s)\n", folder.c_str(),
                   std::strerror(errno));
      return app::kGetExitFailed;
    }
    session.options.OutputDir = folder;
  }
  session.addresses = options.Addresses;
  session.direct = options.Direct;
  session.outputFile = Absolute(options.OutputFile, startFolder);
  session.serverUser = options.ServerUser;
  session.serverPassword = options.ServerPassword;
  session.stallMs = options.StallMs;

  app::GetOutput output;
  output.out = [](std::string_view text) { WriteAll(stdout, text); };
  output.err = [](std::string_view text) { WriteAll(stderr, text); };
  output.terminal = ::isatty(STDOUT_FILENO) == 1;
  output.errOnTerminal = ::isatty(STDERR_FILENO) == 1;
  output.columns = [] { return TerminalSize(true); };
  output.rows = [] { return TerminalSize(false); };

  std::unique_ptr<platform::EventLoop> loop = platform::CreatePollEventLoop();
  return app::RunGetSession(*loop, std::move(output), std::move(session));
}
