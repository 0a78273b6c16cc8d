// Processes: real children started, waited for, ended; what a child inherits
// and what it must not.
#include "platform/Process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/resource.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/EventLoop.h"
#include "platform/ProgramPaths.h"
#include "support/Sandbox.h"

using platform::Process;
using platform::ProcessError;
using platform::ProcessOptions;
using testsupport::Sandbox;

namespace {

ProcessOptions Helper(std::vector<std::string> arguments) { return {VELMORA_TEST_HELPER, std::move(arguments), "", false}; }

// The helper's report: key -> value; "arg" keys collected in order.
struct Report {
  std::map<std::string, std::string> values;
  std::vector<std::string> args;
};

Report ReadReport(const std::string& path) {
  Report r;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    if (key == "arg")
      r.args.push_back(line.substr(eq + 1));
    else
      r.values[key] = line.substr(eq + 1);
  }
  return r;
}

class ProcessTest : public testsupport::SandboxedTest {
 protected:
  // Runs the loop until `path` exists; no fixed sleeps.
  bool WaitForFile(const std::string& path) {
    return loop->RunUntil([&] { return Sandbox::Exists(path); }, 10000);
  }
  std::unique_ptr<platform::EventLoop> loop = platform::CreatePollEventLoop();
};

TEST_F(ProcessTest, ExitStatusIsCollectedOnceTheChildHasEnded) {
  for (int status : {0, 7, 255}) {
    Process p;
    ASSERT_TRUE(p.Start(Helper({"exit", std::to_string(status)})));
    EXPECT_GT(p.Pid(), 0);
    EXPECT_TRUE(p.Wait());
    EXPECT_FALSE(p.Running());
    EXPECT_EQ(p.ExitCode(), status);
    EXPECT_TRUE(p.Wait(0));  // already ended
  }
  Process none;
  EXPECT_EQ(none.ExitCode(), -1);
  EXPECT_FALSE(none.Wait(0));
  EXPECT_FALSE(none.End());
}

TEST_F(ProcessTest, RunningChildAnswersStillActiveUntilEnded) {
  Process p;
  ASSERT_TRUE(p.Start(Helper({"wait"})));
  EXPECT_TRUE(p.Running());
  EXPECT_EQ(p.ExitCode(), Process::kStillActive);
  EXPECT_FALSE(p.Wait(0));
  EXPECT_FALSE(p.Wait(20));  // a bounded wait that runs out
  ProcessError error;
  EXPECT_FALSE(p.Start(Helper({"exit", "0"}), &error));  // one child per object
  EXPECT_EQ(error.code, EBUSY);
  EXPECT_TRUE(p.End());
  EXPECT_EQ(p.ExitCode(), 128 + SIGTERM);
}

TEST_F(ProcessTest, EndForcesAChildThatIgnoresTheRequest) {
  const std::string ready = sandbox / "ready";
  Process p;
  ASSERT_TRUE(p.Start(Helper({"ignore-term", ready})));
  ASSERT_TRUE(WaitForFile(ready));
  EXPECT_TRUE(p.End(100));
  EXPECT_EQ(p.ExitCode(), 128 + SIGKILL);
}

TEST_F(ProcessTest, FailuresToStartNameTheCauseAndLeaveNoChild) {
  sandbox.WriteFile("not-executable", "#!/bin/sh\n");
  struct Case {
    ProcessOptions options;
    int code;
    std::string named;
  } cases[] = {
      {{sandbox / "missing", {}, "", false}, ENOENT, sandbox / "missing"},
      {{"velmora-no-such-program-on-path", {}, "", false}, ENOENT, "velmora-no-such-program-on-path"},
      {{sandbox / "not-executable", {}, "", false}, EACCES, sandbox / "not-executable"},
      {{sandbox.Path(), {}, "", false}, EACCES, sandbox.Path()},
      {{VELMORA_TEST_HELPER, {"exit", "0"}, sandbox / "no-such-folder", false}, ENOENT, sandbox / "no-such-folder"},
      {{"", {}, "", false}, ENOENT, ""},
  };
  for (const Case& c : cases) {
    Process p;
    ProcessError error;
    EXPECT_FALSE(p.Start(c.options, &error)) << c.options.program;
    EXPECT_FALSE(p.Started());
    EXPECT_EQ(error.code, c.code) << c.options.program << ": " << error.text;
    EXPECT_EQ(error.text.rfind(c.named, 0), 0u) << error.text;
  }
  // Every failed child was collected: none is left to wait for.
  int status;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessTest, ChildGetsItsArgumentsFolderAndPriorityAndNothingElseOfOurs) {
  // Things of ours that must not reach the child: an open descriptor without
  // close-on-exec, a blocked and an ignored signal.
  const int leaked = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGTERM);
  ASSERT_EQ(::sigprocmask(SIG_BLOCK, &block, &old), 0);
  auto oldPipe = ::signal(SIGPIPE, SIG_IGN);

  std::filesystem::create_directory(sandbox / "work");
  const std::vector<std::string> args = {"two words", "", "--dash", "caf\xc3\xa9"};
  for (bool idle : {false, true}) {
    const std::string report = sandbox / (idle ? "idle.txt" : "normal.txt");
    std::vector<std::string> arguments = {"report", report};
    arguments.insert(arguments.end(), args.begin(), args.end());
    Process p;
    ASSERT_TRUE(p.Start({VELMORA_TEST_HELPER, arguments, sandbox / "work", idle}));
    ASSERT_TRUE(p.Wait(10000));
    ASSERT_EQ(p.ExitCode(), 0);
    const Report r = ReadReport(report);
    char real[PATH_MAX];
    ASSERT_NE(::realpath((sandbox / "work").c_str(), real), nullptr);
    EXPECT_EQ(r.values.at("cwd"), real);
    EXPECT_EQ(r.values.at("nice"), idle ? "19" : std::to_string(::getpriority(PRIO_PROCESS, 0)));
    EXPECT_EQ(r.values.at("stdin"), "/dev/null");
    EXPECT_EQ(r.values.at("fds"), "");
    EXPECT_EQ(r.values.at("sigblk"), "0000000000000000");
    EXPECT_EQ(r.values.at("sigign"), "0000000000000000");
    EXPECT_EQ(r.args, args);
  }

  ::signal(SIGPIPE, oldPipe);
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
  ::close(leaked);
}

TEST_F(ProcessTest, RelativeProgramCountsFromOurFolderNotTheChilds) {
  const std::string before = platform::CurrentFolder();
  std::filesystem::create_directory(sandbox / "elsewhere");
  std::filesystem::copy_file(VELMORA_TEST_HELPER, sandbox / "helper");
  ASSERT_TRUE(platform::SetCurrentFolder(sandbox.Path()));
  Process p;
  ProcessError error;
  const bool started = p.Start({"./helper", {"exit", "3"}, sandbox / "elsewhere", false}, &error);
  platform::SetCurrentFolder(before);
  ASSERT_TRUE(started) << error.text;
  ASSERT_TRUE(p.Wait(10000));
  EXPECT_EQ(p.ExitCode(), 3);
}

TEST_F(ProcessTest, DetachedChildRunsInItsOwnSessionAndLeavesNoZombie) {
  const std::string report = sandbox / "detached.txt";
  ASSERT_TRUE(Process::StartDetached(Helper({"report", report, "x"})));
  // The intermediate child is already collected; the program's child is not ours.
  int status;
  EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  ASSERT_TRUE(WaitForFile(report));
  const Report r = ReadReport(report);
  EXPECT_NE(r.values.at("sid"), std::to_string(::getsid(0)));
  EXPECT_EQ(r.args, std::vector<std::string>{"x"});

  ProcessError error;
  EXPECT_FALSE(Process::StartDetached({sandbox / "missing", {}, "", false}, &error));
  EXPECT_EQ(error.code, ENOENT);
}

TEST_F(ProcessTest, ChildOutlivesItsObjectAndIsCollectedWhenItEnds) {
  pid_t pid;
  {
    Process p;
    ASSERT_TRUE(p.Start(Helper({"wait"})));
    pid = p.Pid();
  }
  EXPECT_EQ(::kill(pid, 0), 0);  // still running
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  // A zombie would still answer; a collected child is gone.
  EXPECT_TRUE(loop->RunUntil([&] { return ::kill(pid, 0) != 0 && errno == ESRCH; }, 10000));
}

TEST_F(ProcessTest, MovedProcessKeepsItsChild) {
  Process a;
  ASSERT_TRUE(a.Start(Helper({"exit", "5"})));
  Process b = std::move(a);
  EXPECT_FALSE(a.Started());
  ASSERT_TRUE(b.Wait(10000));
  EXPECT_EQ(b.ExitCode(), 5);
}

}  // namespace
