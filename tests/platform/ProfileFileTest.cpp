// Profile files: lookups as the system's profile functions make them, values
// that read back exactly as written, and saves that replace the file whole or
// not at all.
#include "platform/ProfileFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/Sandbox.h"

using platform::ProfileFile;
using testsupport::Sandbox;

namespace {

constexpr const char* kSection = "APPLICATION OPTIONS";

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const char* const kHandWritten =
    "Proxy=ignored: before any section\r\n"
    "; a comment\r\n"
    "[Application Options]  ; trailing text after the header\r\n"
    "  Proxy = proxy.example \r\n"
    "ProxyPort=3128\r\n"
    "password=p@ss;word#1\r\n"
    "Pair=a=b\r\n"
    "Empty=\r\n"
    "DoubleQuoted=\"  padded  \"\r\n"
    "SingleQuoted='x'\r\n"
    "HalfQuoted=\"abc\r\n"
    ";Commented=1\r\n"
    "NoEqualsSign\r\n"
    "Proxy=second one loses\r\n"
    "\r\n"
    "[Other]\r\n"
    "OnlyHere=1\r\n"
    "[application options]\r\n"
    "Late=the second section of the same name is not read\r\n"
    "[ Spaced ]\r\n"
    "Last=no newline at the end";

TEST(ProfileFileRead, LooksUpAsTheProfileFunctionsDo) {
  const ProfileFile f = ProfileFile::FromText("x.ini", kHandWritten);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"APPLICATION OPTIONS", "PROXY", "proxy.example"},  // names without case, value without blanks
      {"application options", "ProxyPort", "3128"},
      {kSection, "Password", "p@ss;word#1"},  // no comment inside a value
      {kSection, "Pair", "a=b"},              // the first "=" separates
      {kSection, "Empty", ""},                // present and empty is not the default
      {kSection, "DoubleQuoted", "  padded  "},
      {kSection, "SingleQuoted", "x"},
      {kSection, "HalfQuoted", "\"abc"},
      {kSection, "Commented", "<default>"},
      {kSection, ";Commented", "<default>"},
      {kSection, "NoEqualsSign", "<default>"},
      {kSection, "OnlyHere", "<default>"},  // keys stay in their section
      {kSection, "Late", "<default>"},
      {kSection, "Absent", "<default>"},
      {"Other", "OnlyHere", "1"},
      {"Spaced", "Last", "no newline at the end"},
      {" Spaced ", " Last ", "no newline at the end"},
      {"Missing", "Proxy", "<default>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(f.ReadString(c.section, c.key, "<default>"), c.expected) << c.section << " / " << c.key;
  EXPECT_TRUE(f.HasKey(kSection, "empty"));
  EXPECT_FALSE(f.HasKey(kSection, "Late"));
}

TEST(ProfileFileRead, IntegersAreDecimalAndAnythingElseGivesTheDefault) {
  struct Case {
    const char* stored;
    long long expected;
  } cases[] = {
      {"5", 5},         {" -12 ", -12},      {"+7", 7},     {"0250", 250},
      {"12abc", -1},    {"", -1},            {"abc", -1},   {"+-5", -1},
      {"1 2", -1},      {"0x10", -1},        {"-", -1},     {"99999999999999999999", -1},
      {"\"42\"", 42},  // quotes go before the number is read
  };
  for (const Case& c : cases) {
    const ProfileFile f = ProfileFile::FromText("x.ini", std::string("[S]\nN=") + c.stored + "\n");
    EXPECT_EQ(f.ReadInteger("s", "n", -1), c.expected) << "stored: " << c.stored;
  }
  EXPECT_EQ(ProfileFile::FromText("x.ini", "[S]\n").ReadInteger("S", "N", 10), 10);
}

TEST(ProfileFileRead, TextReadsTheSameAfterBeingWrittenBack) {
  // Lines ending in several CRs once came back as other section names.
  const ProfileFile f = ProfileFile::FromText("x.ini", "[\r\r\nK=1\r\r\n[S\r\r\nK=2\r\n[T]\nK=\"3\"\r\r\r\n");
  const ProfileFile again = ProfileFile::FromText("x.ini", f.Text());
  for (const char* section : {"", "S", "T"})
    EXPECT_EQ(again.ReadString(section, "K", "<absent>"), f.ReadString(section, "K", "<absent>")) << section;
  EXPECT_EQ(f.ReadString("T", "K", ""), "3");

  ProfileFile g = ProfileFile::FromText("x.ini", "[\r\r\n");
  ASSERT_TRUE(g.WriteString("", "K", "v"));
  EXPECT_EQ(ProfileFile::FromText("x.ini", g.Text()).ReadString("", "K", "<absent>"), "v");
}

class ProfileFileDisk : public testsupport::SandboxedTest {};

TEST_F(ProfileFileDisk, EveryValueReadsBackAsWritten) {
  const std::string values[] = {
      "",      " leading blank", "trailing tab\t", "\"quoted\"", "'single'", "\"", "'", "\"a'", "a=b=c",
      "; not a comment", "[not a section]", "pass word with #", "caf\xc3\xa9", std::string("nul\0byte", 8),
      "  ",
  };
  const std::string path = sandbox / "settings.ini";
  {
    ProfileFile f(path);
    for (std::size_t i = 0; i < std::size(values); ++i)
      ASSERT_TRUE(f.WriteString(kSection, "Key" + std::to_string(i), values[i]));
    std::string error;
    ASSERT_TRUE(f.Save(&error)) << error;
  }
  const ProfileFile back(path);
  EXPECT_EQ(back.ReadError(), "");
  for (std::size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(back.ReadString(kSection, "key" + std::to_string(i), "<absent>"), values[i]) << "value " << i;
}

TEST_F(ProfileFileDisk, WritesKeepEverythingElseInPlace) {
  const std::string path = sandbox / "settings.ini";
  sandbox.WriteFile("settings.ini",
                    "; kept comment\n"
                    "[Application Options]\n"
                    "proxy = old\n"
                    "Unknown=kept\n"
                    "\n"
                    "[Other]\n"
                    "A=1\n");
  ProfileFile f(path);
  ASSERT_TRUE(f.WriteString("APPLICATION OPTIONS", "Proxy", "new"));      // existing: in place, old spelling
  ASSERT_TRUE(f.WriteString("Application Options", "MaxThreads", "7"));   // new: after the section's last key
  ASSERT_TRUE(f.WriteString("Third", "B", "2"));                          // new section: at the end
  ASSERT_TRUE(f.Save());
  EXPECT_EQ(Sandbox::ReadFile(path),
            "; kept comment\n"
            "[Application Options]\n"
            "proxy=new\n"
            "Unknown=kept\n"
            "MaxThreads=7\n"
            "\n"
            "[Other]\n"
            "A=1\n"
            "\n"
            "[Third]\n"
            "B=2\n");
}

TEST_F(ProfileFileDisk, UnstorableWritesAreRefusedAndSaveFails) {
  const std::string path = sandbox / "settings.ini";
  const std::string original = "[S]\nKey=old\n";
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"S", "Key", "two\nlines"},   {"S", "Key", "carriage\rreturn"}, {"S", "Ke=y", "v"},
      {"S", "", "v"},               {"S", "   ", "v"},                {"S", "[Key", "v"},
      {"S", ";Key", "v"},           {"S]", "Key", "v"},               {"S\nT", "Key", "v"},
      {"S", "Key\n", "v"},
  };
  for (const Case& c : cases) {
    sandbox.WriteFile("settings.ini", original);
    ProfileFile f(path);
    EXPECT_FALSE(f.WriteString(c.section, c.key, c.value)) << c.section << " / " << c.key << " / " << c.value;
    EXPECT_EQ(f.ReadString("S", "Key", ""), "old");
    EXPECT_TRUE(f.WriteString("S", "Other", "fine"));  // later writes still work in memory...
    std::string error;
    EXPECT_FALSE(f.Save(&error));  // ...but the refused one is never reported as saved
    EXPECT_NE(error, "");
    EXPECT_EQ(Sandbox::ReadFile(path), original);
  }
}

TEST_F(ProfileFileDisk, MissingFileReadsEmptyAndSaveCreatesIt) {
  const std::string path = sandbox / "settings.ini";
  ProfileFile f(path);
  EXPECT_EQ(f.ReadError(), "");
  EXPECT_EQ(f.ReadInteger(kSection, "MaxThreads", 5), 5);
  ASSERT_TRUE(f.WriteString(kSection, "ActiveList", ".flv,.asf"));
  ASSERT_TRUE(f.WriteString(kSection, "IgnoreList", ""));
  std::string error;
  ASSERT_TRUE(f.Save(&error)) << error;
  EXPECT_EQ(Sandbox::ReadFile(path), "[APPLICATION OPTIONS]\nActiveList=.flv,.asf\nIgnoreList=\n");
  EXPECT_EQ(FolderEntries(sandbox.Path()), std::vector<std::string>{"settings.ini"});  // no temporary left
}

TEST_F(ProfileFileDisk, SaveNeverOpensAFileWiderThanAskedOrThanItWas) {
  struct Case {
    int existingMode;  // -1: no file yet
    unsigned saveMode;
    unsigned expected;
  } cases[] = {
      {-1, 0600, 0600},    // the password stays with its owner
      {-1, 0644, 0644},
      {0644, 0600, 0600},  // an existing open file is narrowed
      {0600, 0644, 0600},  // the owner's narrower choice stays
      {0640, 0644, 0640},
  };
  for (const Case& c : cases) {
    const std::string path = sandbox / "settings.ini";
    ::unlink(path.c_str());
    if (c.existingMode >= 0) {
      sandbox.WriteFile("settings.ini", "[S]\n");
      ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(c.existingMode)), 0);
    }
    ProfileFile f(path);
    f.WriteString("S", "Password", "secret");
    ASSERT_TRUE(f.Save(nullptr, c.saveMode));
    EXPECT_EQ(ModeOf(path), c.expected) << "existing " << std::oct << c.existingMode << " save " << c.saveMode;
  }
}

TEST_F(ProfileFileDisk, FailedSavesReportTheReasonAndLeaveNoTrace) {
  sandbox.WriteFile("plain-file", "x");
  const std::string paths[] = {
      sandbox / "no-such-folder/settings.ini",
      sandbox / "plain-file/settings.ini",  // a file where a folder should be
  };
  for (const std::string& path : paths) {
    ProfileFile f(path);
    f.WriteString("S", "K", "v");
    std::string error;
    EXPECT_FALSE(f.Save(&error)) << path;
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
  EXPECT_EQ(FolderEntries(sandbox.Path()), std::vector<std::string>{"plain-file"});
}

TEST_F(ProfileFileDisk, FileThatCannotBeReadIsNeverReplaced) {
  // A folder in the file's place cannot be read; our empty view of it must not
  // overwrite it on the next save.
  std::filesystem::create_directory(sandbox / "settings.ini");
  ProfileFile f(sandbox / "settings.ini");
  EXPECT_NE(f.ReadError(), "");
  EXPECT_EQ(f.ReadString("S", "K", "default"), "default");
  f.WriteString("S", "K", "v");
  std::string error;
  EXPECT_FALSE(f.Save(&error));
  EXPECT_NE(error, "");
  EXPECT_TRUE(std::filesystem::is_directory(sandbox / "settings.ini"));
}

TEST_F(ProfileFileDisk, SaveThroughALinkReplacesTheTargetAndKeepsTheLink) {
  sandbox.WriteFile("real/settings.ini", "[S]\nK=old\n");
  const std::string link = sandbox / "settings.ini";
  ASSERT_EQ(::symlink((sandbox / "real/settings.ini").c_str(), link.c_str()), 0);
  ProfileFile f(link);
  EXPECT_EQ(f.ReadString("S", "K", ""), "old");
  f.WriteString("S", "K", "new");
  ASSERT_TRUE(f.Save());
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Sandbox::ReadFile(sandbox / "real/settings.ini"), "[S]\nK=new\n");
  EXPECT_EQ(FolderEntries(sandbox / "real"), std::vector<std::string>{"settings.ini"});
}

}  // namespace
