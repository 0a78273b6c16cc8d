// The shell hands a target to the opener, detached, exactly as given.
#include "platform/Shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/EventLoop.h"
#include "support/Sandbox.h"

using testsupport::Sandbox;

namespace {

class ShellTest : public testsupport::SandboxedTest {
 protected:
  // An opener that reports its arguments and session to `report`.
  std::string MakeOpener(const std::string& report) {
    const std::string path = sandbox / "opener";
    sandbox.WriteFile("opener", "#!/bin/sh\nexec \"" VELMORA_TEST_HELPER "\" report \"" + report + "\" \"$@\"\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }
  std::vector<std::string> ReportedLines(const std::string& report) {
    EXPECT_TRUE(loop->RunUntil([&] { return Sandbox::Exists(report); }, 10000));
    std::vector<std::string> lines;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line);)
      if (line.rfind("arg", 0) == 0 || line.rfind("sid=", 0) == 0) lines.push_back(line);
    return lines;
  }
  std::unique_ptr<platform::EventLoop> loop = platform::CreatePollEventLoop();
};

TEST_F(ShellTest, TargetReachesTheOpenerAloneAndUnchanged) {
  struct Case {
    std::string target;
    std::string received;
  } cases[] = {
      {"https://example.invalid/a?b=c&d=e f", "https://example.invalid/a?b=c&d=e f"},
      {"mailto:support@example.invalid?subject=Hi there&body=x", "mailto:support@example.invalid?subject=Hi there&body=x"},
      {"/tmp/some folder/clip one.flv", "/tmp/some folder/clip one.flv"},
      {"--help", "./--help"},  // never an option of the opener
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string report = sandbox / ("report" + std::to_string(n++));
    platform::XdgShell shell(MakeOpener(report));
    ASSERT_TRUE(shell.Open(c.target)) << c.target;
    const auto lines = ReportedLines(report);
    const std::vector<std::string> expected = {"sid=" + std::to_string(::getsid(0)), "argc=1", "arg=" + c.received};
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0], expected[0]) << "the handler must run in a session of its own";
    EXPECT_EQ(lines[1], expected[1]);
    EXPECT_EQ(lines[2], expected[2]);
  }
  int status;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);  // nothing left for us to collect
}

TEST_F(ShellTest, NothingToOpenOrNoOpenerIsAFailure) {
  platform::XdgShell shell(MakeOpener(sandbox / "never"));
  EXPECT_FALSE(shell.Open(""));
  platform::XdgShell missing(sandbox / "no-such-opener");
  EXPECT_FALSE(missing.Open("/tmp"));
  EXPECT_FALSE(Sandbox::Exists(sandbox / "never"));
}

}  // namespace
