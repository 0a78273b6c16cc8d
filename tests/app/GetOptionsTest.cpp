// velmora-get's command line: what each option sets, what is refused, and
// how the overrides land on the settings record.
#include "app/GetOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace {

using app::GetOptions;
using app::GetParseResult;
using app::ParseGetArguments;

TEST(GetOptionsTest, OptionsSetTheirFields) {
  struct Case {
    std::vector<std::string> arguments;
    std::function<std::string(const GetOptions&)> field;
    std::string expected;
  } cases[] = {
      {{"--ext", "FLV, .Mp4", "a"}, [](auto& o) { return *o.ActiveList; }, ".flv,.mp4"},
      {{"--ext=.avi", "a"}, [](auto& o) { return *o.ActiveList; }, ".avi"},
      {{"--slots", "250", "a"}, [](auto& o) { return std::to_string(*o.Slots); }, "250"},
      {{"--slots=1", "a"}, [](auto& o) { return std::to_string(*o.Slots); }, "1"},
      {{"--out", "dl", "a"}, [](auto& o) { return *o.OutputDir; }, "dl"},
      {{"--proxy", "proxy.lan:3128", "a"}, [](auto& o) { return *o.ProxyHost + "|" + *o.ProxyPort; },
       "proxy.lan|3128"},
      {{"--proxy", "proxy.lan", "a"}, [](auto& o) { return *o.ProxyHost + "|" + *o.ProxyPort; }, "proxy.lan|80"},
      {{"--proxy-user", "DOM\\me", "--proxy-password", "p w", "a"},
       [](auto& o) { return *o.ProxyUser + "|" + *o.ProxyPassword; }, "DOM\\me|p w"},
      {{"--user", "me:se:cret", "a"}, [](auto& o) { return *o.ServerUser + "|" + o.ServerPassword; },
       "me|se:cret"},
      {{"--user", "me:", "a"}, [](auto& o) { return *o.ServerUser + "|" + o.ServerPassword; }, "me|"},
      {{"--policy", "rename", "a"}, [](auto& o) { return std::to_string(*o.Policy); }, "0"},
      {{"--policy", "overwrite", "a"}, [](auto& o) { return std::to_string(*o.Policy); }, "1"},
      {{"--policy", "skip", "a"}, [](auto& o) { return std::to_string(*o.Policy); }, "2"},
      {{"--timeout", "0.25", "a"}, [](auto& o) { return std::to_string(o.StallMs); }, "250"},
      {{"a"}, [](auto& o) { return std::to_string(o.StallMs); }, "30000"},
      {{"--direct", "-O", "f.bin", "a"}, [](auto& o) { return o.OutputFile + "|" + std::to_string(o.Direct); },
       "f.bin|1"},
      {{"-i", "x.txt", "-i", "-"}, [](auto& o) { return o.InputFiles[0] + "|" + o.InputFiles[1]; }, "x.txt|-"},
      // Addresses keep their order; after "--" everything is an address.
      {{"a", "--slots", "2", "b", "--", "--direct"},
       [](auto& o) { return o.Addresses[0] + o.Addresses[1] + o.Addresses[2] + std::to_string(o.Direct); },
       "ab--direct0"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& a : c.arguments) shown += "[" + a + "]";
    const GetParseResult r = ParseGetArguments(c.arguments);
    ASSERT_EQ(r.kind, GetParseResult::Kind::Run) << shown << ": " << r.error;
    EXPECT_EQ(c.field(r.options), c.expected) << shown;
  }
}

TEST(GetOptionsTest, MalformedCommandLinesAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--slots"},
      {"--slots", "0", "a"},
      {"--slots", "251", "a"},
      {"--slots", "5x", "a"},
      {"--slots", "-3", "a"},
      {"--slots", "99999999999999", "a"},
      {"--policy", "Skip", "a"},
      {"--proxy", ":8080", "a"},
      {"--proxy", "h:", "a"},
      {"--proxy", "h:70000", "a"},
      {"--user", "nocolon", "a"},
      {"--user", ":pw", "a"},
      {"--ext", "", "a"},
      {"--ext", ".flv,,.avi", "a"},
      {"--ext", ".", "a"},
      {"--timeout", "-1", "a"},
      {"--timeout", "1s", "a"},
      {"--timeout", "nan", "a"},
      {"--timeout", "inf", "a"},
      {"-O", "f", "a"},
      {"--direct", "-O", "f", "a", "b"},
      {"--direct", "-O", "f"},
      {"--direct=1", "a"},
      {"--help=me"},
      {"-x", "a"},
      {"-", "a"},
      {"", "a"},
      {"--out", "", "a"},
  };
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += "[" + a + "]";
    const GetParseResult r = ParseGetArguments(arguments);
    EXPECT_EQ(r.kind, GetParseResult::Kind::Usage) << shown;
    EXPECT_FALSE(r.error.empty()) << shown;
  }
}

TEST(GetOptionsTest, HelpWinsOverMissingAddressesAndInputFilesDeferTheCount) {
  EXPECT_EQ(ParseGetArguments({"--help"}).kind, GetParseResult::Kind::Help);
  EXPECT_EQ(ParseGetArguments({"a", "-h"}).kind, GetParseResult::Kind::Help);
  // The list's addresses are only known once it has been read.
  GetParseResult r = ParseGetArguments({"--direct", "-O", "f", "-i", "list"});
  ASSERT_EQ(r.kind, GetParseResult::Kind::Run) << r.error;
  EXPECT_NE(app::CheckAddressCount(r.options), "");
  r.options.Addresses = {"a", "b"};
  EXPECT_NE(app::CheckAddressCount(r.options), "");
  r.options.Addresses = {"a"};
  EXPECT_EQ(app::CheckAddressCount(r.options), "");
}

TEST(GetOptionsTest, AddressListsSkipBlankAndCommentLines) {
  std::istringstream in("# pages\n\nhttp://a/1.html\r\n   \n  http://a/2.html  \n#http://a/3.html\n \t# x\nlast");
  std::vector<std::string> addresses = {"first"};
  app::ReadAddressList(in, addresses);
  EXPECT_EQ(addresses, (std::vector<std::string>{"first", "http://a/1.html", "http://a/2.html", "last"}));
}

TEST(GetOptionsTest, OverridesReplaceOnlyWhatWasGiven) {
  settings::TApplicationOptions stored;
  stored.Proxy = "old";
  stored.ProxyPort = "1";
  stored.Username = "ou";
  stored.Password = "op";
  stored.OutputDir = "/old/";
  stored.ActiveList = ".flv";
  stored.MaxThreads = 7;
  stored.OverwriteExistingFile = 2;
  stored.LeechPrompt = 1;

  settings::TApplicationOptions untouched = stored;
  app::ApplyGetOverrides(ParseGetArguments({"a"}).options, untouched);
  settings::TApplicationOptions expected = stored;
  expected.LeechPrompt = 0;  // never a prompt without a display
  EXPECT_EQ(untouched, expected);

  settings::TApplicationOptions all = stored;
  app::ApplyGetOverrides(ParseGetArguments({"--proxy", "p:8", "--proxy-user", "pu", "--proxy-password", "pp",
                                            "--out", "/new/", "--ext", ".avi", "--slots", "3", "--policy",
                                            "overwrite", "a"})
                             .options,
                         all);
  expected.Proxy = "p";
  expected.ProxyPort = "8";
  expected.Username = "pu";
  expected.Password = "pp";
  expected.OutputDir = "/new/";
  expected.ActiveList = ".avi";
  expected.MaxThreads = 3;
  expected.OverwriteExistingFile = 1;
  EXPECT_EQ(all, expected);
}

}  // namespace
