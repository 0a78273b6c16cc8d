// The settings store: "settings.ini" in the program's folder, read once into a
// `TApplicationOptions` record and written whole on Save. Loading never fails
// (missing file or keys give the defaults); saving sets every key and then
// replaces the file in one atomic step, so a failed save leaves the old file
// whole and raises `EOptionsWriteError`. The file is created readable by its
// owner alone. The options dialog fills its controls from `Options()` and the
// two entry lists, and hands the controls' values back to `SaveOptions`.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/ApplicationOptions.h"

namespace settings {

inline constexpr const char* kSettingsFileName = "settings.ini";
inline constexpr const char* kOptionsSection = "APPLICATION OPTIONS";
// The list an absent key yields, and the one older versions stored.
inline constexpr const char* kDefaultActiveList = ".flv,.mpeg,.avi,.ram,.wav,.mpg";
// What the one-time upgrade stores in place of the default list.
inline constexpr const char* kUpgradedActiveList = ".flv,.asf,.mpeg,.mpg,.mp2,.mp3,.rm,.ram,.avi,.wmv,.au,.wav";
inline constexpr int kMaxThreadsLimit = 250;

// The settings file could not be written. `what()` is "Unable to write to "
// followed by the file's path; `Reason()` says why.
class EOptionsWriteError : public std::runtime_error {
 public:
  EOptionsWriteError(const std::string& path, std::string reason)
      : std::runtime_error("Unable to write to " + path), path_(path), reason_(std::move(reason)) {}
  const std::string& Path() const { return path_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::string path_;
  std::string reason_;
};

class SettingsStore {
 public:
  // The store of the running program: its folder is platform::ProgramFolder().
  SettingsStore();
  // A store whose program folder is `programFolder` (a "/" is added when
  // missing; a relative one counts from the current folder, since loading
  // makes the output folder current).
  explicit SettingsStore(std::string programFolder);

  const std::string& ProgramFolder() const { return programFolder_; }
  // ProgramFolder() + "settings.ini".
  std::string SettingsPath() const { return programFolder_ + kSettingsFileName; }

  // Reads the file into the record and the entry lists, with the defaults for
  // what is absent or not a valid number. A stored ActiveList equal to the
  // default list is used for this run, while the file gets the upgraded list
  // and an empty IgnoreList (creating it on a first run). MaxThreads above
  // 250 becomes 250; below 1 it becomes the default 5, and an
  // OverwriteExistingFile outside 0..2 becomes 0 (rename), the choices the
  // dialog can show. OutputDir is checked by making it the current folder;
  // when that fails it becomes the program's folder. It always ends with "/",
  // and a relative one is made absolute.
  void LoadOptions();

  // The same load for a program that must leave the file and the process
  // alone (velmora-get): the values are those LoadOptions gives, but nothing
  // is written (a default ActiveList is used without the upgrade, a missing
  // file is not created) and OutputDir is checked without staying the
  // current folder.
  void LoadOptionsReadOnly();

  // Stores the controls' values: every field of `values` except
  // RequestCredentials (which keeps the loaded value), ActiveList and
  // IgnoreList (which become the entries joined by ","). On success the
  // record and the entry lists take the new values; on failure they stay as
  // they were, the file is left untouched and EOptionsWriteError is raised.
  void SaveOptions(const TApplicationOptions& values, const std::vector<std::string>& activeEntries,
                   const std::vector<std::string>& ignoreEntries);

  // A copy of the current record.
  void GetOptions(TApplicationOptions& out) const { out = options_; }
  const TApplicationOptions& Options() const { return options_; }

  // The two lists as entries: split at every "," and lower-cased when loaded
  // (a blank value gives no entries), as handed over after a save.
  const std::vector<std::string>& ActiveEntries() const { return activeEntries_; }
  const std::vector<std::string>& IgnoreEntries() const { return ignoreEntries_; }

  // Set when the last load could not write the upgraded list; the options were
  // loaded all the same. Null otherwise.
  const EOptionsWriteError* UpgradeFailure() const { return upgradeFailure_ ? &*upgradeFailure_ : nullptr; }

 private:
  void Load(bool readOnly);

  std::string programFolder_;
  TApplicationOptions options_;
  std::vector<std::string> activeEntries_;
  std::vector<std::string> ignoreEntries_;
  std::optional<EOptionsWriteError> upgradeFailure_;
};

}  // namespace settings
