#include "settings/SettingsStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <initializer_list>

#include "app/CommonRoutines.h"
#include "platform/ProfileFile.h"
#include "platform/ProgramPaths.h"

namespace settings {

namespace {

// Owner-only: the file holds the proxy password in plain text.
constexpr unsigned kSettingsFileMode = 0600;

std::string ReadText(const platform::ProfileFile& ini, const char* key, const std::string& def) {
  return ini.ReadString(kOptionsSection, key, def);
}

// A 32-bit value; anything absent, malformed or out of range gives `def`.
std::int32_t ReadInt32(const platform::ProfileFile& ini, const char* key, std::int32_t def) {
  long long v = ini.ReadInteger(kOptionsSection, key, def);
  if (v < INT32_MIN || v > INT32_MAX) return def;
  return static_cast<std::int32_t>(v);
}

// Stored as 0 or 1; only 1 means on.
std::uint8_t ReadFlag(const platform::ProfileFile& ini, const char* key, std::uint8_t def) {
  return ini.ReadInteger(kOptionsSection, key, def) == 1 ? 1 : 0;
}

std::string Number(long long v) { return std::to_string(v); }

std::uint8_t Flag(std::uint8_t v) { return v ? 1 : 0; }

// The load's folder check (the folder can be made current), with a relative
// folder made absolute. `stayThere` leaves the folder current, as the desktop
// program's views expect; otherwise the current folder is what it was.
bool CheckOutputFolder(std::string& folder, bool stayThere) {
  if (folder.empty()) return false;
  const int here = stayThere ? -1 : ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (!stayThere && here < 0) {
    // The current folder cannot be returned to: check without entering.
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || ::access(folder.c_str(), X_OK) != 0)
      return false;
    if (folder.front() != '/') {
      char* real = ::realpath(folder.c_str(), nullptr);
      if (real) {
        folder = real;
        std::free(real);
      }
    }
    return true;
  }
  const bool ok = platform::SetCurrentFolder(folder);
  if (ok && folder.front() != '/') {
    std::string absolute = platform::CurrentFolder();
    if (!absolute.empty()) folder = absolute;
  }
  if (here >= 0) {
    // Should the way back fail, the load goes on from the checked folder.
    if (ok) {
      [[maybe_unused]] const int back = ::fchdir(here);
    }
    ::close(here);
  }
  return ok;
}

}  // namespace

SettingsStore::SettingsStore() : SettingsStore(platform::ProgramFolder()) {}

SettingsStore::SettingsStore(std::string programFolder)
    : programFolder_(platform::WithTrailingSlash(platform::AbsolutePath(std::move(programFolder)))) {}

void SettingsStore::LoadOptions() { Load(false); }

void SettingsStore::LoadOptionsReadOnly() { Load(true); }

void SettingsStore::Load(bool readOnly) {
  upgradeFailure_.reset();
  const std::string path = SettingsPath();
  platform::ProfileFile ini(path);
  TApplicationOptions o;

  o.Proxy = ReadText(ini, "Proxy", "");
  o.ProxyPort = ReadText(ini, "ProxyPort", "");
  o.Username = ReadText(ini, "Username", "");
  o.Password = ReadText(ini, "Password", "");
  o.RequestCredentials = ReadFlag(ini, "RequestCredentials", 0);
  const std::int32_t overwrite = ReadInt32(ini, "OverwriteExistingFile", 0);
  o.OverwriteExistingFile = (overwrite >= 0 && overwrite <= 2) ? static_cast<std::uint8_t>(overwrite) : 0;
  o.MaxThreads = ReadInt32(ini, "MaxThreads", 5);
  o.ShutdownWhenFinish = ReadFlag(ini, "ShutdownWhenFinish", 0);
  o.ActiveList = ReadText(ini, "ActiveList", kDefaultActiveList);

  // The old default list is replaced in the file once; this run keeps the
  // list it read, the next start uses the new one.
  // A read-only load sees the same upgraded values without storing them.
  if (o.ActiveList == kDefaultActiveList) {
    ini.WriteString(kOptionsSection, "ActiveList", kUpgradedActiveList);
    ini.WriteString(kOptionsSection, "IgnoreList", "");
    std::string reason;
    if (!readOnly && !ini.Save(&reason, kSettingsFileMode)) upgradeFailure_.emplace(path, reason);
  }

  o.IgnoreList = ReadText(ini, "IgnoreList", "");
  o.LeechPrompt = ReadFlag(ini, "LeechPrompt", 0);
  o.ForceShutdown = ReadFlag(ini, "ForceShutdown", 0);
  o.UseProxyServer = ReadFlag(ini, "UseProxyServer", 0);
  o.BandwidthThrottling = ReadFlag(ini, "BandwidthThrottling", 1);
  o.Bandwidth = ReadInt32(ini, "Bandwidth", 10);

  if (o.MaxThreads > kMaxThreadsLimit) o.MaxThreads = kMaxThreadsLimit;
  if (o.MaxThreads < 1) o.MaxThreads = 5;

  // The check makes the folder current, as the download views expect; a
  // relative value would name another folder once it is current, so it is
  // replaced by the absolute one.
  o.OutputDir = ReadText(ini, "OutputDir", programFolder_);
  if (CheckOutputFolder(o.OutputDir, !readOnly)) {
    o.OutputDir = platform::WithTrailingSlash(o.OutputDir);
  } else {
    o.OutputDir = programFolder_;
  }

  options_ = o;
  activeEntries_.clear();
  ignoreEntries_.clear();
  app::SplitCommaList(o.ActiveList, activeEntries_);
  app::SplitCommaList(o.IgnoreList, ignoreEntries_);
}

void SettingsStore::SaveOptions(const TApplicationOptions& values, const std::vector<std::string>& activeEntries,
                                const std::vector<std::string>& ignoreEntries) {
  TApplicationOptions o = values;
  o.RequestCredentials = options_.RequestCredentials;
  // Flags are stored as 0 or 1, whatever non-zero value a control handed in.
  for (std::uint8_t* flag : {&o.ShutdownWhenFinish, &o.LeechPrompt, &o.ForceShutdown, &o.UseProxyServer,
                             &o.BandwidthThrottling})
    *flag = Flag(*flag);
  o.ActiveList = app::JoinCommaList(activeEntries);
  o.IgnoreList = app::JoinCommaList(ignoreEntries);

  // Every key is set in memory first and the file replaced in one step, so a
  // failure can never leave some keys written and others not.
  const std::string path = SettingsPath();
  platform::ProfileFile ini(path);
  const std::pair<const char*, std::string> keys[] = {
      {"Proxy", o.Proxy},
      {"ProxyPort", o.ProxyPort},
      {"Username", o.Username},
      {"Password", o.Password},
      {"OutputDir", o.OutputDir},
      {"RequestCredentials", Number(o.RequestCredentials)},
      {"OverwriteExistingFile", Number(o.OverwriteExistingFile)},
      {"MaxThreads", Number(o.MaxThreads)},
      {"ShutdownWhenFinish", Number(o.ShutdownWhenFinish)},
      {"LeechPrompt", Number(o.LeechPrompt)},
      {"ForceShutdown", Number(o.ForceShutdown)},
      {"UseProxyServer", Number(o.UseProxyServer)},
      {"BandwidthThrottling", Number(o.BandwidthThrottling)},
      {"Bandwidth", Number(o.Bandwidth)},
      {"ActiveList", o.ActiveList},
      {"IgnoreList", o.IgnoreList},
  };
  for (const auto& [key, value] : keys) {
    if (!ini.WriteString(kOptionsSection, key, value))
      throw EOptionsWriteError(path, std::string("the value of ") + key + " cannot be stored in a profile file");
  }
  std::string reason;
  if (!ini.Save(&reason, kSettingsFileMode)) throw EOptionsWriteError(path, reason);

  options_ = o;
  activeEntries_ = activeEntries;
  ignoreEntries_ = ignoreEntries;
}

}  // namespace settings
