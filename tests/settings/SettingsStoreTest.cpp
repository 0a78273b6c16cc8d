#include "settings/SettingsStore.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ProfileFile.h"
#include "platform/ProgramPaths.h"
#include "support/Sandbox.h"

namespace {

using settings::EOptionsWriteError;
using settings::SettingsStore;
using settings::TApplicationOptions;

std::string Show(const std::vector<std::string>& list) {
  std::string out = "[";
  for (std::size_t i = 0; i < list.size(); ++i) out += (i ? "|" : "") + list[i];
  return out + "]";
}

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 0777;
}

class SettingsStoreTest : public testsupport::SandboxedTest {
 protected:
  void SetUp() override {
    home = sandbox / "home/";
    sandbox.WriteFile("home/velmora", "");  // the program's folder, as installed
    path = home + "settings.ini";
  }
  void WriteSettings(const std::string& body) { sandbox.WriteFile("home/settings.ini", body); }
  TApplicationOptions Load() {
    SettingsStore store(home);
    store.LoadOptions();
    return store.Options();
  }

  std::string home;
  std::string path;
};

TEST_F(SettingsStoreTest, FirstRunUsesDefaultsAndWritesTheUpgradedList) {
  SettingsStore store(home);
  EXPECT_EQ(store.SettingsPath(), path);
  store.LoadOptions();
  const TApplicationOptions& o = store.Options();
  EXPECT_EQ(o.MaxThreads, 5);
  EXPECT_EQ(o.Bandwidth, 10);
  EXPECT_EQ(o.BandwidthThrottling, 1);
  EXPECT_EQ(o.RequestCredentials + o.OverwriteExistingFile + o.ShutdownWhenFinish + o.LeechPrompt +
                o.ForceShutdown + o.UseProxyServer, 0);
  EXPECT_EQ(o.Proxy + o.ProxyPort + o.Username + o.Password + o.IgnoreList, "");
  EXPECT_EQ(o.OutputDir, home);
  EXPECT_EQ(o.ActiveList, ".flv,.mpeg,.avi,.ram,.wav,.mpg");
  EXPECT_EQ(Show(store.ActiveEntries()), "[.flv|.mpeg|.avi|.ram|.wav|.mpg]");
  EXPECT_TRUE(store.IgnoreEntries().empty());
  EXPECT_EQ(store.UpgradeFailure(), nullptr);

  ASSERT_TRUE(testsupport::Sandbox::Exists(path));
  EXPECT_EQ(ModeOf(path), 0600u);
  platform::ProfileFile file(path);
  EXPECT_EQ(file.ReadString("APPLICATION OPTIONS", "ActiveList", "?"),
            ".flv,.asf,.mpeg,.mpg,.mp2,.mp3,.rm,.ram,.avi,.wmv,.au,.wav");
  EXPECT_TRUE(file.HasKey("APPLICATION OPTIONS", "IgnoreList"));
  EXPECT_EQ(file.ReadString("APPLICATION OPTIONS", "IgnoreList", "?"), "");

  // The next run uses the twelve-entry list and leaves the file alone.
  const std::string written = testsupport::Sandbox::ReadFile(path);
  SettingsStore next(home);
  next.LoadOptions();
  EXPECT_EQ(next.Options().ActiveList, ".flv,.asf,.mpeg,.mpg,.mp2,.mp3,.rm,.ram,.avi,.wmv,.au,.wav");
  EXPECT_EQ(next.ActiveEntries().size(), 12u);
  EXPECT_EQ(testsupport::Sandbox::ReadFile(path), written);
}

TEST_F(SettingsStoreTest, UpgradeKeepsOtherKeysAndUsesTheEmptiedIgnoreList) {
  WriteSettings("; kept\n[Application Options]\nMaxThreads=9\nActiveList=.flv,.mpeg,.avi,.ram,.wav,.mpg\n"
                "IgnoreList=.avi\n[Other]\nKey=Value\n");
  SettingsStore store(home);
  store.LoadOptions();
  EXPECT_EQ(store.Options().ActiveList, ".flv,.mpeg,.avi,.ram,.wav,.mpg");
  EXPECT_EQ(store.Options().IgnoreList, "");  // read after the upgrade emptied it
  EXPECT_EQ(store.Options().MaxThreads, 9);
  platform::ProfileFile file(path);
  EXPECT_EQ(file.ReadString("APPLICATION OPTIONS", "ActiveList", ""), settings::kUpgradedActiveList);
  EXPECT_EQ(file.ReadInteger("APPLICATION OPTIONS", "MaxThreads", 0), 9);
  EXPECT_EQ(file.ReadString("Other", "Key", ""), "Value");
  EXPECT_NE(testsupport::Sandbox::ReadFile(path).find("; kept"), std::string::npos);
}

TEST_F(SettingsStoreTest, StoredValuesLoadAsDescribed) {
  sandbox.WriteFile("out/Clips/.keep", "");
  const std::string out = sandbox / "out/Clips";
  struct Case {
    std::string body;  // lines of the options section
    std::function<std::string(const TApplicationOptions&)> field;
    std::string expected;
  } cases[] = {
      {"MaxThreads=300", [](auto& o) { return std::to_string(o.MaxThreads); }, "250"},
      {"MaxThreads=250", [](auto& o) { return std::to_string(o.MaxThreads); }, "250"},
      {"MaxThreads=1", [](auto& o) { return std::to_string(o.MaxThreads); }, "1"},
      {"MaxThreads=0", [](auto& o) { return std::to_string(o.MaxThreads); }, "5"},
      {"MaxThreads=-3", [](auto& o) { return std::to_string(o.MaxThreads); }, "5"},
      {"MaxThreads=ten", [](auto& o) { return std::to_string(o.MaxThreads); }, "5"},
      {"MaxThreads=99999999999", [](auto& o) { return std::to_string(o.MaxThreads); }, "5"},
      {"maxthreads = 12 ", [](auto& o) { return std::to_string(o.MaxThreads); }, "12"},
      {"OverwriteExistingFile=2", [](auto& o) { return std::to_string(o.OverwriteExistingFile); }, "2"},
      {"OverwriteExistingFile=3", [](auto& o) { return std::to_string(o.OverwriteExistingFile); }, "0"},
      {"OverwriteExistingFile=-1", [](auto& o) { return std::to_string(o.OverwriteExistingFile); }, "0"},
      {"LeechPrompt=1", [](auto& o) { return std::to_string(o.LeechPrompt); }, "1"},
      {"LeechPrompt=2", [](auto& o) { return std::to_string(o.LeechPrompt); }, "0"},
      {"LeechPrompt=yes", [](auto& o) { return std::to_string(o.LeechPrompt); }, "0"},
      {"BandwidthThrottling=0", [](auto& o) { return std::to_string(o.BandwidthThrottling); }, "0"},
      {"BandwidthThrottling=x", [](auto& o) { return std::to_string(o.BandwidthThrottling); }, "1"},
      {"Bandwidth=15", [](auto& o) { return std::to_string(o.Bandwidth); }, "15"},
      {"Bandwidth=", [](auto& o) { return std::to_string(o.Bandwidth); }, "10"},
      {"RequestCredentials=1", [](auto& o) { return std::to_string(o.RequestCredentials); }, "1"},
      {"Password=  se cret=x ", [](auto& o) { return o.Password; }, "se cret=x"},
      {"ActiveList=.mpg,.flv,.mpeg,.avi,.ram,.wav", [](auto& o) { return o.ActiveList; },
       ".mpg,.flv,.mpeg,.avi,.ram,.wav"},
      {"OutputDir=" + out + "/", [](auto& o) { return o.OutputDir; }, out + "/"},
      {"OutputDir=" + out, [](auto& o) { return o.OutputDir; }, out + "/"},
      {"OutputDir=" + sandbox.Path() + "gone/", [](auto& o) { return o.OutputDir; }, "<home>"},
      {"OutputDir=", [](auto& o) { return o.OutputDir; }, "<home>"},
      {"OutputDir=" + home + "velmora", [](auto& o) { return o.OutputDir; }, "<home>"},  // a file
  };
  for (const Case& c : cases) {
    WriteSettings("[APPLICATION OPTIONS]\n" + c.body + "\n");
    std::string expected = c.expected == "<home>" ? home : c.expected;
    EXPECT_EQ(c.field(Load()), expected) << c.body;
  }
}

TEST_F(SettingsStoreTest, RelativeOutputFolderBecomesAbsolute) {
  // Once the output folder is the current one, a relative name would point
  // somewhere else; the absolute one keeps naming the same folder.
  sandbox.WriteFile("out/Clips/.keep", "");
  ASSERT_EQ(::chdir(sandbox.Path().c_str()), 0);
  WriteSettings("[APPLICATION OPTIONS]\nOutputDir=out/Clips\n");
  char real[PATH_MAX];
  ASSERT_NE(::realpath((sandbox / "out/Clips").c_str(), real), nullptr);
  EXPECT_EQ(Load().OutputDir, std::string(real) + "/");
}

TEST_F(SettingsStoreTest, RelativeProgramFolderStillNamesTheSameFileAfterLoading) {
  // Loading makes the output folder current; a program folder given relative
  // to where the program started must still lead Save to the file it read.
  const char* saved = std::getenv("VELMORA_HOME");
  const std::string savedValue = saved ? saved : "";
  for (bool fromEnvironment : {true, false}) {
    const std::string name = fromEnvironment ? "rel-env" : "rel-arg";
    sandbox.WriteFile(name + "/settings.ini", "[APPLICATION OPTIONS]\nMaxThreads=7\nActiveList=.flv\n");
    ASSERT_EQ(::chdir(sandbox.Path().c_str()), 0);
    ::setenv("VELMORA_HOME", name.c_str(), 1);
    auto store = fromEnvironment ? std::make_unique<SettingsStore>() : std::make_unique<SettingsStore>(name);
    store->LoadOptions();
    EXPECT_EQ(store->Options().MaxThreads, 7) << name;
    TApplicationOptions values = store->Options();
    values.MaxThreads = 9;
    EXPECT_NO_THROW(store->SaveOptions(values, {".flv"}, {})) << name;
    EXPECT_EQ(platform::ProfileFile(sandbox / (name + "/settings.ini")).ReadInteger("APPLICATION OPTIONS", "MaxThreads", 0), 9)
        << name;
  }
  if (saved)
    ::setenv("VELMORA_HOME", savedValue.c_str(), 1);
  else
    ::unsetenv("VELMORA_HOME");
}

TEST_F(SettingsStoreTest, AnActiveListThatDiffersInAnyCharacterIsLeftAlone) {
  const std::string lists[] = {
      ".FLV,.mpeg,.avi,.ram,.wav,.mpg",   // case
      ".flv,.mpeg,.avi,.ram,.wav,.mpg,",  // a trailing comma
      ".flv, .mpeg,.avi,.ram,.wav,.mpg",  // a blank
      ".mpeg,.flv,.avi,.ram,.wav,.mpg",   // order
  };
  for (const std::string& list : lists) {
    const std::string body = "[APPLICATION OPTIONS]\nActiveList=" + list + "\n";
    WriteSettings(body);
    EXPECT_EQ(Load().ActiveList, list);
    EXPECT_EQ(testsupport::Sandbox::ReadFile(path), body) << list;
  }
}

TEST_F(SettingsStoreTest, ExtensionListsBecomeLowerCaseEntries) {
  WriteSettings("[APPLICATION OPTIONS]\nActiveList=.FLV,,.Mp3\nIgnoreList=  \n");
  SettingsStore store(home);
  store.LoadOptions();
  EXPECT_EQ(Show(store.ActiveEntries()), "[.flv||.mp3]");
  EXPECT_TRUE(store.IgnoreEntries().empty());
}

TEST_F(SettingsStoreTest, SavedSettingsReadBackWithTheSameValues) {
  WriteSettings("[APPLICATION OPTIONS]\nRequestCredentials=1\nActiveList=.flv\n");
  sandbox.WriteFile("downloads/.keep", "");
  SettingsStore store(home);
  store.LoadOptions();

  TApplicationOptions values;
  values.Proxy = "proxy.example.com";
  values.ProxyPort = "3128";
  values.Username = "DOMAIN\\user";
  values.Password = " \"pa=ss;word\" ";
  values.OutputDir = sandbox / "downloads/";
  values.RequestCredentials = 0;  // not edited by the dialog: the loaded 1 stays
  values.OverwriteExistingFile = 2;
  values.MaxThreads = 250;
  values.ShutdownWhenFinish = 1;
  values.LeechPrompt = 1;
  values.ForceShutdown = 1;
  values.UseProxyServer = 1;
  values.BandwidthThrottling = 0;
  values.Bandwidth = 200;
  store.SaveOptions(values, {".flv", ".Mp4", ""}, {".wav"});

  TApplicationOptions expected = values;
  expected.RequestCredentials = 1;
  expected.ActiveList = ".flv,.Mp4,";
  expected.IgnoreList = ".wav";
  TApplicationOptions held;
  store.GetOptions(held);
  EXPECT_EQ(held, expected);
  EXPECT_EQ(Show(store.ActiveEntries()), "[.flv|.Mp4|]");

  SettingsStore reread(home);
  reread.LoadOptions();
  EXPECT_EQ(reread.Options(), expected);
  EXPECT_EQ(Show(reread.ActiveEntries()), "[.flv|.mp4|]");
  EXPECT_EQ(ModeOf(path), 0600u);

  // Every key is in the file (keys already there keep their place).
  const std::string text = testsupport::Sandbox::ReadFile(path);
  for (const char* line : {"Proxy=proxy.example.com", "ProxyPort=3128", "Username=DOMAIN\\user", "Password=",
                           "OutputDir=", "RequestCredentials=1", "OverwriteExistingFile=2", "MaxThreads=250",
                           "ShutdownWhenFinish=1", "LeechPrompt=1", "ForceShutdown=1", "UseProxyServer=1",
                           "BandwidthThrottling=0", "Bandwidth=200", "ActiveList=.flv,.Mp4,", "IgnoreList=.wav"})
    EXPECT_NE(text.find(std::string("\n") + line), std::string::npos) << line << " in\n" << text;
}

TEST_F(SettingsStoreTest, EmptyListsAreSavedAsEmptyValues) {
  SettingsStore store(home);
  store.LoadOptions();
  store.SaveOptions(store.Options(), {}, {});
  const std::string text = testsupport::Sandbox::ReadFile(path);
  EXPECT_NE(text.find("\nActiveList=\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nIgnoreList=\n"), std::string::npos) << text;
  EXPECT_TRUE(store.ActiveEntries().empty());
  EXPECT_EQ(store.Options().ActiveList, "");
}

TEST_F(SettingsStoreTest, FailedSaveLeavesTheOldFileAndRecordWhole) {
  WriteSettings("[APPLICATION OPTIONS]\nProxy=old.example.com\nMaxThreads=7\nActiveList=.flv\n");
  const std::string before = testsupport::Sandbox::ReadFile(path);
  SettingsStore store(home);
  store.LoadOptions();
  const TApplicationOptions loaded = store.Options();

  // A value that cannot be stored, found after other keys were already set.
  TApplicationOptions values = loaded;
  values.MaxThreads = 20;
  values.Bandwidth = 50;
  values.ActiveList = "ignored";
  std::vector<std::string> active = {".flv", ".mp3\n[Injected]"};
  try {
    store.SaveOptions(values, active, {});
    FAIL() << "the save should have failed";
  } catch (const EOptionsWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
    EXPECT_EQ(e.Path(), path);
    EXPECT_FALSE(e.Reason().empty());
  }
  EXPECT_EQ(testsupport::Sandbox::ReadFile(path), before);
  EXPECT_EQ(store.Options(), loaded);

  // A write that fails on the disk itself: the file may grow no larger than
  // a few bytes, so the new text cannot be written out.
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit tiny = old;
  tiny.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
  bool raised = false;
  try {
    store.SaveOptions(values, {".flv"}, {});
  } catch (const EOptionsWriteError& e) {
    raised = true;
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + path);
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(raised);
  EXPECT_EQ(testsupport::Sandbox::ReadFile(path), before);
  EXPECT_EQ(store.Options(), loaded);
  SettingsStore reread(home);
  reread.LoadOptions();
  EXPECT_EQ(reread.Options(), loaded);
}

TEST_F(SettingsStoreTest, ReadOnlyLoadGivesTheSameValuesAndWritesNothing) {
  sandbox.WriteFile("work/out/.keep", "");
  const std::string work = sandbox / "work/";
  char realWork[PATH_MAX];
  ASSERT_NE(::realpath(work.c_str(), realWork), nullptr);
  const std::string bodies[] = {
      "",  // no file at all
      "[APPLICATION OPTIONS]\nMaxThreads=7\nActiveList=.flv,.mpeg,.avi,.ram,.wav,.mpg\nIgnoreList=.avi\n",
      "[APPLICATION OPTIONS]\nOutputDir=out\nOverwriteExistingFile=2\nActiveList=.FLV,.mp4\n",
      "[APPLICATION OPTIONS]\nOutputDir=" + sandbox.Path() + "gone/\n",
  };
  for (const std::string& body : bodies) {
    ::unlink(path.c_str());
    if (!body.empty()) WriteSettings(body);
    ASSERT_EQ(::chdir(work.c_str()), 0);

    SettingsStore readOnly(home);
    readOnly.LoadOptionsReadOnly();
    EXPECT_EQ(platform::CurrentFolder(), std::string(realWork) + "/") << body;
    EXPECT_EQ(testsupport::Sandbox::Exists(path), !body.empty()) << body;
    if (!body.empty()) {
      EXPECT_EQ(testsupport::Sandbox::ReadFile(path), body);
    }
    EXPECT_EQ(readOnly.UpgradeFailure(), nullptr);

    // The desktop load of the same file, from the same folder, agrees.
    ASSERT_EQ(::chdir(work.c_str()), 0);
    SettingsStore desktop(home);
    desktop.LoadOptions();
    EXPECT_EQ(readOnly.Options(), desktop.Options()) << body;
    EXPECT_EQ(Show(readOnly.ActiveEntries()), Show(desktop.ActiveEntries())) << body;
  }
  // The relative OutputDir was made absolute against the folder it was read in.
  WriteSettings("[APPLICATION OPTIONS]\nOutputDir=out\n");
  ASSERT_EQ(::chdir(work.c_str()), 0);
  SettingsStore store(home);
  store.LoadOptionsReadOnly();
  EXPECT_EQ(store.Options().OutputDir, std::string(realWork) + "/out/");
}

TEST_F(SettingsStoreTest, UnwritableProgramFolderStillLoadsTheDefaults) {
  SettingsStore store(sandbox / "missing");  // no such folder: nothing can be written
  EXPECT_EQ(store.ProgramFolder(), sandbox / "missing/");
  store.LoadOptions();
  EXPECT_EQ(store.Options().MaxThreads, 5);
  EXPECT_EQ(store.Options().ActiveList, settings::kDefaultActiveList);
  ASSERT_NE(store.UpgradeFailure(), nullptr);
  EXPECT_EQ(std::string(store.UpgradeFailure()->what()), "Unable to write to " + (sandbox / "missing/settings.ini"));
  EXPECT_THROW(store.SaveOptions(store.Options(), {}, {}), EOptionsWriteError);
}

}  // namespace
