// Single instance: the session lock between real processes, and the argument
// channel with a real listener on the poll loop and real second instances.
// A bare socket stands in for the first instance only where it has to show
// what the real one cannot do on demand: take its time to answer, or never.
#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/EventLoop.h"
#include "platform/Process.h"
#include "support/Sandbox.h"

extern char** environ;

using platform::Process;
using platform::SingleInstance;
using testsupport::Sandbox;

namespace {

constexpr const char* kLock = "Velmora3MX";
constexpr const char* kChannel = "0BBA68FB-9D0A-4FC6-B670-B0A28C57AC08";

// A socket bound at `path` that nobody serves (the caller accepts, or not).
int BareListener(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  path.copy(a.sun_path, sizeof a.sun_path - 1);
  ::unlink(path.c_str());
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0) {
    ADD_FAILURE() << "cannot listen at " << path;
    return -1;
  }
  return fd;
}

int Connect(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  path.copy(a.sun_path, sizeof a.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

// Reads exactly `n` bytes (each within 5 s).
std::string ReadBytes(int fd, std::size_t n) {
  std::string s;
  while (s.size() < n && Readable(fd, 5000)) {
    char c[512];
    ssize_t got = ::recv(fd, c, std::min(sizeof c, n - s.size()), 0);
    if (got <= 0) break;
    s.append(c, static_cast<std::size_t>(got));
  }
  return s;
}

class SingleInstanceTest : public testsupport::SandboxedTest {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    hadRuntimeDir_ = old != nullptr;
    if (old) savedRuntimeDir_ = old;
    // The sandbox is the session's runtime folder: private, and ours alone.
    ::setenv("XDG_RUNTIME_DIR", sandbox.Path().c_str(), 1);
    ASSERT_EQ(SingleInstance::RuntimeFolder(), sandbox.Path());
  }
  void TearDown() override {
    if (hadRuntimeDir_)
      ::setenv("XDG_RUNTIME_DIR", savedRuntimeDir_.c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
  }

  // Runs the helper as a second instance while the loop serves the channel.
  int RunSecondInstance(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = {"second", kLock, kChannel};
    args.insert(args.end(), arguments.begin(), arguments.end());
    Process p;
    EXPECT_TRUE(p.Start({VELMORA_TEST_HELPER, args, "", false}));
    EXPECT_TRUE(loop->RunUntil([&] { return !p.Running(); }, 10000));
    return p.ExitCode();
  }

  std::string ChannelPath() const { return sandbox / kChannel; }

  std::unique_ptr<platform::EventLoop> loop = platform::CreatePollEventLoop();

 private:
  bool hadRuntimeDir_ = false;
  std::string savedRuntimeDir_;
};

TEST_F(SingleInstanceTest, OneLockHolderPerSessionAcrossProcesses) {
  auto first = std::make_unique<SingleInstance>(kLock, kChannel);
  ASSERT_TRUE(first->AcquireOrDetect());
  EXPECT_TRUE(first->HoldsLock());
  EXPECT_TRUE(first->AcquireOrDetect());  // asking again changes nothing
  EXPECT_TRUE(Sandbox::Exists(sandbox / "Velmora3MX.lock"));

  SingleInstance sameProcess(kLock, kChannel);
  EXPECT_FALSE(sameProcess.AcquireOrDetect());
  EXPECT_FALSE(sameProcess.HoldsLock());
  EXPECT_EQ(RunSecondInstance({}), 0);  // another process sees the lock as well

  first.reset();  // the lock goes with its owner
  EXPECT_EQ(RunSecondInstance({}), 10);

  // Held by another process: detected here, and free once that process ends.
  const std::string ready = sandbox / "ready";
  Process holder;
  ASSERT_TRUE(holder.Start({VELMORA_TEST_HELPER, {"hold-lock", kLock, ready}, "", false}));
  ASSERT_TRUE(loop->RunUntil([&] { return Sandbox::Exists(ready); }, 10000));
  EXPECT_FALSE(sameProcess.AcquireOrDetect());
  ASSERT_TRUE(holder.End());
  EXPECT_TRUE(sameProcess.AcquireOrDetect());
}

TEST_F(SingleInstanceTest, LockDoesNotStayWithAChildAfterItsOwnerIsGone) {
  auto first = std::make_unique<SingleInstance>(kLock, kChannel);
  ASSERT_TRUE(first->AcquireOrDetect());
  // A child started without closing our descriptors (as a library might),
  // running its main: the system has dealt with its inherited descriptors.
  const std::string ready = sandbox / "ready";
  const char* argv[] = {VELMORA_TEST_HELPER, "ignore-term", ready.c_str(), nullptr};
  pid_t child;
  ASSERT_EQ(::posix_spawn(&child, VELMORA_TEST_HELPER, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  ASSERT_TRUE(loop->RunUntil([&] { return Sandbox::Exists(ready); }, 10000));
  first.reset();
  SingleInstance next(kLock, kChannel);
  EXPECT_TRUE(next.AcquireOrDetect());  // a restarted program is a first instance again
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST_F(SingleInstanceTest, SecondInstanceHandsOverEachArgumentInOrder) {
  SingleInstance first(kLock, kChannel);
  ASSERT_TRUE(first.AcquireOrDetect());
  std::vector<std::string> received;
  ASSERT_TRUE(first.Listen(*loop, [&](const std::string& text) { received.push_back(text); }));

  const std::string longest(255, 'a');
  const std::vector<std::string> arguments = {"/media/a.MPG", "  two words.avi ", longest, longest + "b", "",
                                              "list.m3u"};
  EXPECT_EQ(RunSecondInstance(arguments), 0);
  // Over 255 bytes arrives as empty text; everything else as sent, untrimmed.
  EXPECT_EQ(received, (std::vector<std::string>{"/media/a.MPG", "  two words.avi ", longest, "", "", "list.m3u"}));

  // Without arguments a second start hands nothing over and changes nothing.
  received.clear();
  EXPECT_EQ(RunSecondInstance({}), 0);
  EXPECT_TRUE(received.empty());

  // The channel stays open for the next one.
  EXPECT_EQ(RunSecondInstance({"again.flv"}), 0);
  EXPECT_EQ(received, std::vector<std::string>{"again.flv"});
}

TEST_F(SingleInstanceTest, WithoutArgumentsNothingIsEvenOpened) {
  const int bare = BareListener(ChannelPath());
  ASSERT_GE(bare, 0);
  EXPECT_TRUE(SingleInstance::Forward(kLock, kChannel, {}));
  EXPECT_FALSE(Readable(bare, 0)) << "a connection was made";
  ::close(bare);
}

TEST_F(SingleInstanceTest, FirstInstanceWithoutAChannelYetIsLeftAlone) {
  SingleInstance first(kLock, kChannel);
  ASSERT_TRUE(first.AcquireOrDetect());
  EXPECT_EQ(RunSecondInstance({"early.flv"}), 1);  // no channel at all

  // A channel name left behind by an instance that crashed.
  ::close(BareListener(ChannelPath()));
  ASSERT_TRUE(Sandbox::Exists(ChannelPath()));
  EXPECT_EQ(RunSecondInstance({"early.flv"}), 1);

  std::vector<std::string> received;
  ASSERT_TRUE(first.Listen(*loop, [&](const std::string& text) { received.push_back(text); }));
  EXPECT_EQ(RunSecondInstance({"late.flv"}), 0);
  EXPECT_EQ(received, std::vector<std::string>{"late.flv"});  // nothing from before the channel opened

  first.StopListening();
  EXPECT_FALSE(Sandbox::Exists(ChannelPath()));
  EXPECT_EQ(RunSecondInstance({"after.flv"}), 1);
}

TEST_F(SingleInstanceTest, ListeningNeedsTheLock) {
  SingleInstance holder(kLock, kChannel);
  ASSERT_TRUE(holder.AcquireOrDetect());
  SingleInstance other(kLock, kChannel);
  EXPECT_FALSE(other.AcquireOrDetect());
  EXPECT_FALSE(other.Listen(*loop, [](const std::string&) {}));
  EXPECT_FALSE(Sandbox::Exists(ChannelPath()));
}

TEST_F(SingleInstanceTest, SenderWaitsForEachAnswerBeforeTheNextArgument) {
  const int bare = BareListener(ChannelPath());
  ASSERT_GE(bare, 0);
  bool forwarded = false;
  std::thread sender([&] { forwarded = SingleInstance::Forward(kLock, kChannel, {"one", "two"}); });

  ASSERT_TRUE(Readable(bare, 5000));
  const int c = ::accept(bare, nullptr, nullptr);
  ASSERT_GE(c, 0);
  EXPECT_EQ(ReadBytes(c, 4), "\x03one");
  // Nothing more may come before the answer. A sender that does not wait
  // would have written both frames at once; a tenth of a second shows it.
  EXPECT_FALSE(Readable(c, 100));
  ASSERT_EQ(::send(c, "\x01", 1, MSG_NOSIGNAL), 1);
  EXPECT_EQ(ReadBytes(c, 4), "\x03two");
  ASSERT_EQ(::send(c, "\x01", 1, MSG_NOSIGNAL), 1);
  sender.join();
  EXPECT_TRUE(forwarded);
  ::close(c);
  ::close(bare);
}

TEST_F(SingleInstanceTest, SenderGivesUpWhenTheFirstInstanceFailsToAnswer) {
  enum class Listener { NeverAnswers, ClosesAfterTheFirstFrame, AnswersWrongly };
  for (Listener behaviour : {Listener::NeverAnswers, Listener::ClosesAfterTheFirstFrame, Listener::AnswersWrongly}) {
    const int bare = BareListener(ChannelPath());
    ASSERT_GE(bare, 0);
    bool forwarded = true;
    std::thread sender([&] { forwarded = SingleInstance::Forward(kLock, kChannel, {"one", "two"}, 200); });
    ASSERT_TRUE(Readable(bare, 5000));
    const int c = ::accept(bare, nullptr, nullptr);
    EXPECT_EQ(ReadBytes(c, 4), "\x03one");
    if (behaviour == Listener::ClosesAfterTheFirstFrame) ::shutdown(c, SHUT_RDWR);
    if (behaviour == Listener::AnswersWrongly) ::send(c, "\x07", 1, MSG_NOSIGNAL);
    sender.join();  // NeverAnswers: ends by the 200 ms limit
    EXPECT_FALSE(forwarded) << static_cast<int>(behaviour);
    ::close(c);
    ::close(bare);
  }
}

TEST_F(SingleInstanceTest, FramesArrivingInPiecesAreHandledWhole) {
  SingleInstance first(kLock, kChannel);
  ASSERT_TRUE(first.AcquireOrDetect());
  std::vector<std::string> received;
  ASSERT_TRUE(first.Listen(*loop, [&](const std::string& text) { received.push_back(text); }));

  const int c = Connect(ChannelPath());
  ASSERT_GE(c, 0);
  // "ab" with a NUL and more after it, byte by byte; then a frame of 255 bytes
  // and the start of one the sender never finishes.
  const std::string pieces = std::string("\x05" "ab\0cd", 6) + '\xff' + std::string(255, 'z') + "\x09half";
  for (char ch : pieces) {
    ASSERT_EQ(::send(c, &ch, 1, MSG_NOSIGNAL), 1);
    loop->ProcessPending();
  }
  EXPECT_TRUE(loop->RunUntil([&] { return received.size() == 2; }, 5000));
  EXPECT_EQ(received, (std::vector<std::string>{"ab", std::string(255, 'z')}));  // cut at the NUL
  EXPECT_EQ(ReadBytes(c, 2), "\x01\x01");  // one answer per whole frame
  ::close(c);  // the unfinished frame goes with the sender
  loop->RunUntil([] { return false; }, 100);
  EXPECT_EQ(received.size(), 2u);
}

TEST_F(SingleInstanceTest, HandlerMayCloseTheChannelOrEndTheInstance) {
  for (bool destroy : {false, true}) {
    auto first = std::make_unique<SingleInstance>(kLock, kChannel);
    ASSERT_TRUE(first->AcquireOrDetect());
    std::vector<std::string> received;
    ASSERT_TRUE(first->Listen(*loop, [&](const std::string& text) {
      received.push_back(text);
      // Shutdown inside a nested pass, as Quit from a modal window would do.
      loop->PostTask([&] {
        if (destroy)
          first.reset();
        else
          first->StopListening();
      });
      loop->RunUntil([&] { return destroy ? first == nullptr : !Sandbox::Exists(ChannelPath()); }, 5000);
    }));
    EXPECT_EQ(RunSecondInstance({"one.flv", "two.flv"}), 1) << (destroy ? "destroyed" : "stopped");
    EXPECT_EQ(received, std::vector<std::string>{"one.flv"});
    EXPECT_FALSE(Sandbox::Exists(ChannelPath()));
  }
}

TEST_F(SingleInstanceTest, RuntimeFolderIsOneOnlyTheUserCanReach) {
  const std::string uid = std::to_string(::geteuid());
  const bool root = ::geteuid() == 0;
  auto folder = [&](const std::string& name, unsigned mode) {
    std::filesystem::create_directory(sandbox / name);
    ::chmod((sandbox / name).c_str(), mode);
    return sandbox / name;
  };
  const std::string privateDir = folder("private", 0700);
  const std::string openDir = folder("open", 0755);
  const std::string link = sandbox / "link";
  ::symlink(privateDir.c_str(), link.c_str());

  // Fresh fallback: created for the user alone.
  const std::string tmp1 = folder("tmp1", 0777);
  EXPECT_EQ(SingleInstance::RuntimeFolderFor(openDir.c_str(), tmp1), tmp1 + "/velmora-" + uid + "/");
  struct stat st {};
  ASSERT_EQ(::lstat((tmp1 + "/velmora-" + uid).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  struct Case {
    const char* what;
    const char* xdg;
    std::string expected;
  } cases[] = {
      {"private runtime folder", privateDir.c_str(), privateDir + "/"},
      {"runtime folder others can enter", openDir.c_str(), tmp1 + "/velmora-" + uid + "/"},
      {"runtime folder behind a link", link.c_str(), tmp1 + "/velmora-" + uid + "/"},
      {"relative runtime folder", "private", tmp1 + "/velmora-" + uid + "/"},
      {"no runtime folder", nullptr, tmp1 + "/velmora-" + uid + "/"},
      {"empty runtime folder", "", tmp1 + "/velmora-" + uid + "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(SingleInstance::RuntimeFolderFor(c.xdg, tmp1), c.expected) << c.what;

  // A fallback someone else prepared is not used at all.
  const std::string tmp2 = folder("tmp2", 0777);
  folder("tmp2/velmora-" + uid, 0777);
  EXPECT_EQ(SingleInstance::RuntimeFolderFor(nullptr, tmp2), "") << "fallback others can enter";
  const std::string tmp3 = folder("tmp3", 0777);
  ::symlink(privateDir.c_str(), (tmp3 + "/velmora-" + uid).c_str());
  EXPECT_EQ(SingleInstance::RuntimeFolderFor(nullptr, tmp3), "") << "fallback that is a link";
  if (root) {
    const std::string foreign = folder("foreign", 0700);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_EQ(SingleInstance::RuntimeFolderFor(foreign.c_str(), tmp1), tmp1 + "/velmora-" + uid + "/")
        << "runtime folder of another user";
    const std::string tmp4 = folder("tmp4", 0777);
    const std::string theirs = folder("tmp4/velmora-" + uid, 0700);
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    EXPECT_EQ(SingleInstance::RuntimeFolderFor(nullptr, tmp4), "") << "fallback of another user";
  }
}

}  // namespace
