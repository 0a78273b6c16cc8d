#include "settings/SettingsStore.h"

#include <climits>
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

}  // namespace

SettingsStore::SettingsStore() : SettingsStore(platform::ProgramFolder()) {}

SettingsStore::SettingsStore(std::string programFolder)
    : programFolder_(platform::WithTrailingSlash(std::move(programFolder))) {}

void SettingsStore::LoadOptions() {
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
  if (o.ActiveList == kDefaultActiveList) {
    ini.WriteString(kOptionsSection, "ActiveList", kUpgradedActiveList);
    ini.WriteString(kOptionsSection, "IgnoreList", "");
    std::string reason;
    if (!ini.Save(&reason, kSettingsFileMode)) upgradeFailure_.emplace(path, reason);
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
  if (platform::SetCurrentFolder(o.OutputDir)) {
    if (o.OutputDir.front() != '/') {
      std::string absolute = platform::CurrentFolder();
      if (!absolute.empty()) o.OutputDir = absolute;
    }
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
