#include "app/Startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Sandbox.h"

namespace {

using namespace app;

class RecordingPlaylist final : public PlaylistSink {
 public:
  void AddEntry(const std::string& path) override { entries.push_back(path); }
  std::vector<std::string> entries;
};

TEST(StartupTest, PlayableFiles) {
  struct Case {
    const char* path;
    bool playable;
  } cases[] = {
      {"/music/a.MPG", true},         // lower-cased before the test
      {"clip.flv", true},
      {"clip.mp", true},              // a part of ".mp4"
      {"clip.m", true},               // a part of ".mov"
      {"noext", false},
      {"/dir.mp4/file", false},       // the dot belongs to a folder
      {"list.M3U", false},
      {"notes.txt", false},
      {"archive.mp4.gz", false},      // only the last extension counts
      {"http://www.example.com/", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPlayableFile(c.path), c.playable) << c.path;
  EXPECT_EQ(PlayableExtensions().size(), 17u);
  EXPECT_EQ(PlayableExtensions().front(), ".divx");
  EXPECT_EQ(PlayableExtensions().back(), ".au");
}

TEST(StartupTest, UpdateSkipSwitch) {
  struct Case {
    std::vector<std::string> arguments;
    bool skip;
  } cases[] = {
      {{"/r"}, true},
      {{"  /r \t"}, true},
      {{"a.mp3", "/r"}, true},
      {{"/R"}, false},
      {{"-r"}, false},
      {{"/r/"}, false},
      {{"/ r"}, false},
      {{}, false},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& a : c.arguments) shown += "[" + a + "]";
    EXPECT_EQ(HasUpdateSkipSwitch(c.arguments), c.skip) << shown;
  }
}

class PlaylistImportTest : public testsupport::SandboxedTest {
 protected:
  RecordingPlaylist playlist;
};

TEST_F(PlaylistImportTest, SkipsCommentsAddressesAndBlankLines) {
  const std::string text =
      "#EXTM3U\r\n"
      "#EXTINF:123,Some clip\r\n"
      "   /media/Clip One.mp3  \r\n"
      "\r\n"
      "   \t\r\n"
      "http://example.com/stream.mp3\n"
      "C:\\Music\\www.site\\a.mp3\n"
      "relative/b.avi\r"
      "ftp://host/c.flv\r"
      "/media/last.wma";  // no line end
  const std::vector<std::string> expected = {"/media/Clip One.mp3", "relative/b.avi", "/media/last.wma"};

  sandbox.WriteFile("list.m3u", text);
  ImportPlaylistFile(sandbox / "list.m3u", playlist);
  EXPECT_EQ(playlist.entries, expected);

  playlist.entries.clear();
  ImportPlaylistText(text, playlist);
  EXPECT_EQ(playlist.entries, expected);
}

TEST_F(PlaylistImportTest, LongFileIsReadWholeAcrossReadBoundaries) {
  std::string text;
  std::vector<std::string> expected;
  for (int i = 0; i < 3000; ++i) {
    std::string path = "/media/clip" + std::to_string(i) + ".mp3";
    expected.push_back(path);
    text += (i % 2 ? " " : "") + path + (i % 3 ? "\r\n" : "\n");
  }
  text += "/media/" + std::string(40000, 'x') + ".avi";  // one line over several reads
  expected.push_back("/media/" + std::string(40000, 'x') + ".avi");
  sandbox.WriteFile("big.m3u", text);
  ImportPlaylistFile(sandbox / "big.m3u", playlist);
  EXPECT_EQ(playlist.entries, expected);
}

TEST_F(PlaylistImportTest, UnreadableFilesAddNothing) {
  ImportPlaylistFile(sandbox / "missing.m3u", playlist);
  sandbox.WriteFile("folder.m3u/inside", "x");
  ImportPlaylistFile(sandbox / "folder.m3u", playlist);  // a folder, not a file
  EXPECT_TRUE(playlist.entries.empty());
}

TEST_F(PlaylistImportTest, ArgumentsGoToThePlaylistInOrder) {
  sandbox.WriteFile("list.M3U", "# skipped\n  /media/from list.mp3  \nwww.example.com/x.flv\n");
  const std::vector<std::string> arguments = {
      "/r", sandbox / "a.MPG", sandbox / "list.M3U", "http://www.example.com/", "notes.txt", "b.avi"};
  HandleArguments(arguments, playlist);
  const std::vector<std::string> expected = {sandbox / "a.MPG", "/media/from list.mp3", "b.avi"};
  EXPECT_EQ(playlist.entries, expected);

  playlist.entries.clear();
  HandleForwardedArgument("", playlist);  // an argument too long to hand over
  HandleForwardedArgument(sandbox / "list.M3U", playlist);
  HandleForwardedArgument("/media/c.wmv", playlist);
  const std::vector<std::string> forwarded = {"/media/from list.mp3", "/media/c.wmv"};
  EXPECT_EQ(playlist.entries, forwarded);
}

TEST_F(PlaylistImportTest, RelativeArgumentsNamingFilesBecomeAbsolute) {
  sandbox.WriteFile("clips/a.mp3", "x");
  const std::string here = sandbox.Path();
  struct Case {
    std::string argument;
    std::string expected;
  } cases[] = {
      {"clips/a.mp3", here + "clips/a.mp3"},
      {"clips", here + "clips"},
      {"missing.mp3", "missing.mp3"},
      {"/r", "/r"},
      {"/elsewhere/a.mp3", "/elsewhere/a.mp3"},
      {"http://example.com/a.flv", "http://example.com/a.flv"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ResolveArgumentPath(c.argument, here), c.expected) << c.argument;
  std::string withoutSlash = here.substr(0, here.size() - 1);
  EXPECT_EQ(ResolveArgumentPath("clips/a.mp3", withoutSlash), here + "clips/a.mp3");
}

}  // namespace
