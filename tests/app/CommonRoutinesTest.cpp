#include "app/CommonRoutines.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/Shell.h"
#include "support/Sandbox.h"

namespace {

using namespace app;

std::string Show(const std::vector<std::string>& list) {
  std::string out = "[";
  for (std::size_t i = 0; i < list.size(); ++i) out += (i ? "|" : "") + list[i];
  return out + "]";
}

std::string Split(std::string_view text, std::vector<std::string> list = {"kept"}) {
  SplitCommaList(text, list);
  return Show(list);
}

struct TextCase {
  const char* what;
  std::function<std::string()> run;
  std::string expected;
};

TEST(CommonRoutinesTest, TextRoutineEdgeCases) {
  const std::string nulChar(1, '\0');
  const TextCase cases[] = {
      {"UrlFileName of an address ending in /", [] { return UrlFileName("http://host/dir/"); }, ""},
      {"UrlFileName without /", [] { return UrlFileName("clip.flv"); }, "clip.flv"},
      {"UrlFileName takes the last piece", [] { return UrlFileName("http://h/a/b/c.flv?x=1"); }, "c.flv?x=1"},
      {"SanitizeFileName colon and question mark",
       [] { return SanitizeFileName("Video: what now?"); }, "Video_ what now_"},
      {"SanitizeFileName every reserved character",
       [] { return SanitizeFileName("a\"b*c,d/e:f<g>h?i\\j|k"); }, "a_b_c_d_e_f_g_h_i_j_k"},
      {"SanitizeFileName keeps control and high characters",
       [] { return SanitizeFileName("a\tb\xe9."); }, "a\tb\xe9."},
      {"UrlDecode percent blank and plus", [] { return UrlDecode("a%20b+c"); }, "a b c"},
      {"UrlDecode upper and lower hex", [] { return UrlDecode("%41%6a%2F"); }, "Aj/"},
      {"UrlDecode non-hex gives code 0", [nulChar] { return UrlDecode("x%zzy"); }, "x" + nulChar + "y"},
      {"UrlDecode % with one character left", [] { return UrlDecode("a%4"); }, std::string("a\x04")},
      {"UrlDecode % at the end", [nulChar] { return UrlDecode("a%"); }, "a" + nulChar},
      {"HexToInt FF", [] { return std::to_string(HexToInt("FF")); }, "255"},
      {"HexToInt ff", [] { return std::to_string(HexToInt("ff")); }, "255"},
      {"HexToInt FFH", [] { return std::to_string(HexToInt("FFH")); }, "255"},
      {"HexToInt only one H dropped", [] { return std::to_string(HexToInt("FFHH")); }, "0"},
      {"HexToInt empty", [] { return std::to_string(HexToInt("")); }, "0"},
      {"HexToInt H alone", [] { return std::to_string(HexToInt("H")); }, "0"},
      {"HexToInt non-hex", [] { return std::to_string(HexToInt("1G")); }, "0"},
      {"HexToInt blank inside", [] { return std::to_string(HexToInt("1 2")); }, "0"},
      {"HexToInt 64 bits", [] { return std::to_string(HexToInt("FFFFFFFFFFFFFFFF")); }, "18446744073709551615"},
      {"CharPosFrom plain", [] { return std::to_string(CharPosFrom("a,b,c", ',', 1)); }, "2"},
      {"CharPosFrom at start", [] { return std::to_string(CharPosFrom("a,b,c", ',', 2)); }, "2"},
      {"CharPosFrom after first", [] { return std::to_string(CharPosFrom("a,b,c", ',', 3)); }, "4"},
      {"CharPosFrom start below 1", [] { return std::to_string(CharPosFrom("a,b", ',', -5)); }, "2"},
      {"CharPosFrom start beyond end", [] { return std::to_string(CharPosFrom("a,b", ',', 4)); }, "0"},
      {"CharPosFrom not found", [] { return std::to_string(CharPosFrom("abc", ',', 1)); }, "0"},
      {"PosFrom start 1 is a plain search", [] { return std::to_string(PosFrom("lo", "hello lo", 1)); }, "4"},
      {"PosFrom from a later start", [] { return std::to_string(PosFrom("lo", "hello lo", 5)); }, "7"},
      {"PosFrom start 0", [] { return std::to_string(PosFrom("he", "hello", 0)); }, "1"},
      {"PosFrom substring crossing the end", [] { return std::to_string(PosFrom("lox", "hello lo", 7)); }, "0"},
      {"PosFrom start beyond end", [] { return std::to_string(PosFrom("o", "hello", 6)); }, "0"},
      {"PosFrom empty substring", [] { return std::to_string(PosFrom("", "hello", 1)); }, "0"},
      {"SplitCommaList blank keeps the list", [] { return Split("  \t "); }, "[kept]"},
      {"SplitCommaList empty keeps the list", [] { return Split(""); }, "[kept]"},
      {"SplitCommaList two commas give an empty entry", [] { return Split(".flv,,.avi"); }, "[.flv||.avi]"},
      {"SplitCommaList lower-cases, keeps blanks", [] { return Split(".FLV, .Mp3"); }, "[.flv| .mp3]"},
      {"SplitCommaList trailing comma", [] { return Split(".flv,"); }, "[.flv|]"},
      {"SplitCommaList one entry", [] { return Split(".wmv"); }, "[.wmv]"},
      {"JoinCommaList", [] { return JoinCommaList({".flv", "", ".avi"}); }, ".flv,,.avi"},
      {"JoinCommaList empty", [] { return JoinCommaList({}); }, ""},
      {"Trim blanks and controls", [] { return Trim(" \t\r\n a b \x01"); }, "a b"},
      {"LowerCase ASCII only", [] { return LowerCase("AbC\xC9"); }, "abc\xC9"},
      {"SameText", [] { return std::to_string(SameText(".FLV", ".flv")); }, "1"},
      {"ContainsText", [] { return std::to_string(ContainsText("Clip.FLV?x", ".flv")); }, "1"},
      {"ContainsText empty needle", [] { return std::to_string(ContainsText("abc", "")); }, "0"},
      {"ComposeMailAddress without body",
       [] { return ComposeMailAddress("a@b.c", "Hi", " "); }, "mailto:a@b.c?subject=Hi"},
      {"ComposeMailAddress with body",
       [] { return ComposeMailAddress("a@b.c", "", "text"); }, "mailto:a@b.c?subject=&body=text"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(c.run(), c.expected) << c.what;
}

// Records what would be handed to the desktop's default handler.
class RecordingShell final : public platform::Shell {
 public:
  bool Open(const std::string& target) override {
    opened.push_back(target);
    return true;
  }
  std::vector<std::string> opened;
};

class FolderListingTest : public testsupport::SandboxedTest {
 protected:
  void SetUp() override {
    sandbox.WriteFile("site/Clip.FLV", "x");
    sandbox.WriteFile("site/b.txt", "x");
    sandbox.WriteFile("site/Half.$$$", "x");
    sandbox.WriteFile("site/.hidden", "x");
    sandbox.WriteFile("site/noext", "x");
    sandbox.WriteFile("site/Sub.flv/inner.flv", "x");  // a directory named like a file
    folder = sandbox / "site/";
  }
  std::string folder;
};

TEST_F(FolderListingTest, RowsShowLowerCaseNamesAndKeepStoredNames) {
  std::vector<FileRow> rows{{"earlier", "Earlier"}};
  ListFilesIntoView(folder, "*.*", rows);
  std::vector<std::string> captions, names;
  for (const FileRow& r : rows) {
    captions.push_back(r.Caption);
    names.push_back(r.FileName);
  }
  EXPECT_EQ(Show(captions), "[earlier|.hidden|b.txt|clip.flv|half.$$$|noext]");
  EXPECT_EQ(Show(names), "[Earlier|.hidden|b.txt|Clip.FLV|Half.$$$|noext]");

  rows.clear();
  ListFilesIntoView(folder, "*.flv", rows);  // letter case ignored, directories skipped
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].FileName, "Clip.FLV");

  rows.clear();
  ListFilesIntoView(folder, "?.txt", rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].FileName, "b.txt");

  rows.clear();
  ListFilesIntoView(sandbox / "missing/", "*.*", rows);
  EXPECT_TRUE(rows.empty());
}

TEST_F(FolderListingTest, MediaFilesSkipTemporaryDownloadsAndKeepStoredPaths) {
  std::vector<std::string> paths{"/earlier"};
  ListFolderMediaFiles(folder, paths);
  EXPECT_EQ(Show(paths), "[/earlier|" + folder + ".hidden|" + folder + "b.txt|" + folder + "Clip.FLV|" +
                             folder + "noext]");
  ListFolderMediaFiles(sandbox / "missing/", paths);
  EXPECT_EQ(paths.size(), 5u);
}

TEST_F(FolderListingTest, SelectedRowsOpenUnderTheirStoredNames) {
  std::vector<FileRow> rows;
  ListFilesIntoView(folder, "*.flv", rows);
  RecordingShell shell;
  OpenSelectedFiles(shell, folder, rows);
  OpenAddress(shell, "http://example.com/");
  ComposeMail(shell, "support@example.com", "", "");
  EXPECT_EQ(Show(shell.opened),
            "[" + folder + "Clip.FLV|http://example.com/|mailto:support@example.com?subject=]");
}

TEST(CommonRoutinesTest, FileTimeIsShownInLocalTime) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  ::setenv("TZ", "XYZ-2", 1);  // two hours east of UTC
  ::tzset();
  std::tm local = FileTimeToLocalDateTime(86400 + 23 * 3600);  // 1970-01-02 23:00 UTC
  if (old) ::setenv("TZ", saved.c_str(), 1); else ::unsetenv("TZ");
  ::tzset();
  EXPECT_EQ(local.tm_year, 70);
  EXPECT_EQ(local.tm_mon, 0);
  EXPECT_EQ(local.tm_mday, 3);
  EXPECT_EQ(local.tm_hour, 1);
}

TEST(CommonRoutinesTest, EndTaskByWindowEndsTheLoop) {
  auto loop = platform::CreatePollEventLoop();
  std::vector<std::string> ran;

  // Polite: work queued before the request still runs, then the loop ends.
  loop->PostTask([&] { ran.push_back("queued"); });
  EXPECT_EQ(EndTaskByWindow(*loop, false, false), 1);
  EXPECT_FALSE(loop->Terminated());
  EXPECT_FALSE(loop->RunUntil([] { return false; }, 2000));
  EXPECT_TRUE(loop->Terminated());
  EXPECT_EQ(Show(ran), "[queued]");

  // Forced, from inside a handler: no further pass runs.
  loop->ResetTerminated();
  ran.clear();
  loop->PostTask([&] {
    ran.push_back("handler");
    EXPECT_EQ(EndTaskByWindow(*loop, true, true), 1);
    EXPECT_TRUE(loop->Terminated());
    loop->PostTask([&] { ran.push_back("too late"); });
  });
  loop->Run();
  EXPECT_EQ(Show(ran), "[handler]");
}

}  // namespace
