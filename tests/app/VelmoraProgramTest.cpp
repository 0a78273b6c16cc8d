// Real `velmora` processes in a private runtime folder: the first holds the
// lock and listens, later ones hand their arguments over and end.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "support/Sandbox.h"

extern char** environ;

namespace {

// One started program; killed and reaped if the test leaves it running.
class Process {
 public:
  Process(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment,
          const std::string& folder = {}) {
    std::vector<std::string> argStore = {VELMORA_PROGRAM};
    argStore.insert(argStore.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      bool overridden = false;
      for (const std::string& extra : extraEnvironment)
        if (entry.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0) overridden = true;
      if (!overridden) envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> argv, envp;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (posix_spawn(&pid_, VELMORA_PROGRAM, &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Started() const { return pid_ > 0; }
  bool Exited() {
    if (!exited_ && pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
    return exited_;
  }
  // The exit status, or -1 when it did not end normally.
  int ExitCode() const { return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
  void Signal(int sig) { ::kill(pid_, sig); }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool exited_ = false;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class VelmoraProgramTest : public testsupport::SandboxedTest {
 protected:
  void SetUp() override {
    runtime = sandbox / "run";
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    log = sandbox / "forward.log";
    environment = {"XDG_RUNTIME_DIR=" + runtime, "VELMORA_FORWARD_LOG=" + log, "VELMORA_HOME=" + sandbox.Path()};
    loop = platform::CreatePollEventLoop();

    first = std::make_unique<Process>(std::vector<std::string>{}, environment);
    ASSERT_TRUE(first->Started());
    ASSERT_TRUE(loop->RunUntil([&] { return Log() == "listening\n" || first->Exited(); }, 10000))
        << "the first instance did not start listening";
    ASSERT_FALSE(first->Exited()) << "the first instance ended with " << first->ExitCode();
  }
  void TearDown() override {
    if (!first) return;
    first->Signal(SIGTERM);
    EXPECT_TRUE(loop->RunUntil([&] { return first->Exited(); }, 5000));
    EXPECT_EQ(first->ExitCode(), 0) << "SIGTERM should end the first instance cleanly";
  }

  std::string Log() const { return testsupport::Sandbox::ReadFile(log); }
  std::vector<std::string> Received() const {
    std::vector<std::string> received;
    for (const std::string& line : Lines(Log()))
      if (line.rfind("received:", 0) == 0) received.push_back(line.substr(9));
    return received;
  }

  // Starts a second instance and waits for it to end; returns its exit code.
  int RunSecond(const std::vector<std::string>& arguments, const std::string& folder = {}) {
    Process second(arguments, environment, folder);
    EXPECT_TRUE(second.Started());
    EXPECT_TRUE(loop->RunUntil([&] { return second.Exited(); }, 1000)) << "the second instance did not end";
    return second.ExitCode();
  }

  std::string runtime;
  std::string log;
  std::vector<std::string> environment;
  std::unique_ptr<platform::EventLoop> loop;
  std::unique_ptr<Process> first;
};

TEST_F(VelmoraProgramTest, SecondInstanceHandsItsFilesOverInOrder) {
  const std::string a = sandbox / "One clip.mp3", b = sandbox / "two.AVI";
  EXPECT_EQ(RunSecond({a, b}), 0);
  EXPECT_EQ(Received(), (std::vector<std::string>{a, b}));
  // Both are media files, so both reached the playlist, in the same order.
  const std::vector<std::string> lines = Lines(Log());
  EXPECT_EQ(lines, (std::vector<std::string>{"listening", "received:" + a, "entry:" + a, "received:" + b,
                                             "entry:" + b}));
}

TEST_F(VelmoraProgramTest, OverlongArgumentArrivesEmptyAndIsIgnored) {
  EXPECT_EQ(RunSecond({"/media/" + std::string(289, 'x') + ".mp3"}), 0);  // 300 bytes
  EXPECT_EQ(Log(), "listening\nreceived:\n");
}

TEST_F(VelmoraProgramTest, SecondInstanceWithoutArgumentsHandsOverNothing) {
  EXPECT_EQ(RunSecond({}), 0);
  EXPECT_EQ(Log(), "listening\n");
  // The first instance is unchanged and still receives later hand-overs.
  EXPECT_EQ(RunSecond({"/media/later.flv"}), 0);
  EXPECT_EQ(Received(), (std::vector<std::string>{"/media/later.flv"}));
}

TEST_F(VelmoraProgramTest, RelativePathsAreHandedOverAsAbsolutePaths) {
  sandbox.WriteFile("clips/Local.mp4", "x");
  EXPECT_EQ(RunSecond({"Local.mp4", "absent.mp3"}, sandbox / "clips"), 0);
  EXPECT_EQ(Received(), (std::vector<std::string>{sandbox / "clips/Local.mp4", "absent.mp3"}));
}

TEST(VelmoraProgramAloneTest, SecondInstanceEndsSilentlyWhenNobodyListens) {
  // The lock is held, as by a first instance still starting, but no channel is
  // open: the arguments cannot be handed over and the program ends quietly.
  testsupport::Sandbox sandbox;
  const std::string runtime = sandbox / "run";
  ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
  const std::string lockPath = runtime + "/Velmora3MX.lock";
  int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lockFd, 0);
  ASSERT_EQ(::flock(lockFd, LOCK_EX | LOCK_NB), 0);

  auto loop = platform::CreatePollEventLoop();
  const std::string log = sandbox / "forward.log";
  Process second({"/media/a.mp3"}, {"XDG_RUNTIME_DIR=" + runtime, "VELMORA_FORWARD_LOG=" + log});
  ASSERT_TRUE(second.Started());
  EXPECT_TRUE(loop->RunUntil([&] { return second.Exited(); }, 1000));
  EXPECT_EQ(second.ExitCode(), 0);
  EXPECT_FALSE(testsupport::Sandbox::Exists(log)) << "the second instance must not act as a first one";
  ::close(lockFd);
}

}  // namespace
