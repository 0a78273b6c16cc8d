// The program's folder and its fallbacks; the current folder.
#include "platform/ProgramPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "support/Sandbox.h"

using testsupport::Sandbox;

namespace {

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::string Real(const std::string& path) {
  char real[PATH_MAX];
  return ::realpath(path.c_str(), real) ? std::string(real) : std::string();
}

class ProgramPathsTest : public testsupport::SandboxedTest {};

TEST_F(ProgramPathsTest, ProgramFolderFollowsTheOverrideAndFallsBackWhereItCannotWrite) {
  std::filesystem::create_directory(sandbox / "exe");
  std::filesystem::create_directory(sandbox / "home");
  const std::string exe = sandbox / "exe/";
  const std::string gone = sandbox / "gone/";  // an executable's folder that cannot be written to
  const std::string homeEnv = sandbox / "home";
  const std::string xdg = sandbox / "xdg";
  const std::string ownHome = sandbox / "own-home";
  struct Case {
    std::string executableFolder;
    const char* velmoraHome;
    const char* xdgConfigHome;
    const char* home;
    std::string expected;
  } cases[] = {
      {exe, nullptr, xdg.c_str(), homeEnv.c_str(), exe},
      {exe, "", xdg.c_str(), homeEnv.c_str(), exe},  // empty counts as unset
      {exe, ownHome.c_str(), xdg.c_str(), homeEnv.c_str(), ownHome + "/"},  // created
      {gone, nullptr, xdg.c_str(), homeEnv.c_str(), xdg + "/velmora/"},
      {gone, nullptr, nullptr, homeEnv.c_str(), homeEnv + "/.config/velmora/"},
      {gone, nullptr, "relative/config", homeEnv.c_str(), homeEnv + "/.config/velmora/"},
      {gone, nullptr, nullptr, nullptr, gone},  // nowhere else to go
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::ResolveProgramFolder(c.executableFolder, c.velmoraHome, c.xdgConfigHome, c.home), c.expected)
        << c.executableFolder << " / " << (c.velmoraHome ? c.velmoraHome : "(unset)");
  }
  // A relative override counts from the current folder and comes back
  // absolute, so it names the same folder once another folder is current.
  const std::string before = platform::CurrentFolder();
  ASSERT_TRUE(platform::SetCurrentFolder(sandbox.Path()));
  const std::string relative = platform::ResolveProgramFolder(exe, "rel/home", xdg.c_str(), homeEnv.c_str());
  ASSERT_TRUE(platform::SetCurrentFolder(before));
  EXPECT_EQ(relative, Real(sandbox.Path()) + "/rel/home/");
  EXPECT_TRUE(Sandbox::Exists(sandbox / "rel/home"));

  // The fallback is made for the user alone: it will hold a password.
  EXPECT_EQ(ModeOf(xdg + "/velmora"), 0700u);
  EXPECT_EQ(ModeOf(homeEnv + "/.config/velmora"), 0700u);
  EXPECT_FALSE(Sandbox::Exists(gone));
}

TEST_F(ProgramPathsTest, ExecutableAndProgramFolderOfTheRunningTest) {
  const std::string folder = platform::ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(platform::ExecutablePath(), folder + "platform_ProgramPathsTest");

  const char* saved = std::getenv("VELMORA_HOME");
  const std::string savedValue = saved ? saved : "";
  ::setenv("VELMORA_HOME", sandbox.Path().c_str(), 1);
  EXPECT_EQ(platform::ProgramFolder(), sandbox.Path());
  ::unsetenv("VELMORA_HOME");
  EXPECT_EQ(platform::ProgramFolder(), folder);  // the build folder is writable
  if (saved) ::setenv("VELMORA_HOME", savedValue.c_str(), 1);
}

TEST_F(ProgramPathsTest, CurrentFolderChangesOnlyToAFolderThatCanBeEntered) {
  const std::string before = platform::CurrentFolder();
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(before.back(), '/');
  sandbox.WriteFile("file", "x");
  for (const std::string& bad : {std::string(), sandbox / "missing", sandbox / "file"}) {
    EXPECT_FALSE(platform::SetCurrentFolder(bad)) << bad;
    EXPECT_EQ(platform::CurrentFolder(), before);
  }
  ASSERT_TRUE(platform::SetCurrentFolder(sandbox.Path()));
  EXPECT_EQ(platform::CurrentFolder(), Real(sandbox.Path()) + "/");
  ASSERT_TRUE(platform::SetCurrentFolder(before));
}

}  // namespace
