#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/Clock.h"

namespace platform {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The file to execute: a path as given (made absolute, since the child may
// change folder first), or a bare name searched in PATH.
bool ResolveProgram(const std::string& program, std::string& path, int& err) {
  if (program.empty()) {
    err = ENOENT;
    return false;
  }
  if (program.find('/') != std::string::npos) {
    path = program;
    if (path.front() != '/') {
      char cwd[PATH_MAX];
      if (!::getcwd(cwd, sizeof cwd)) {
        err = errno;
        return false;
      }
      path = std::string(cwd) + "/" + path;
    }
    return true;  // exec reports what is wrong with it
  }
  const char* env = std::getenv("PATH");
  std::string dirs = env && *env ? env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t pos = 0;
  for (;;) {
    std::size_t colon = dirs.find(':', pos);
    std::string dir = dirs.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (IsExecutableFile(candidate)) {
      path = candidate;
      return true;
    }
    if (colon == std::string::npos) break;
    pos = colon + 1;
  }
  err = ENOENT;
  return false;
}

void CloseRange(unsigned first, unsigned last) {
  if (first > last) return;
  // close_range exists since Linux 5.9; the loop covers older kernels.
  if (::syscall(SYS_close_range, first, last, 0) == 0) return;
  long max = ::sysconf(_SC_OPEN_MAX);
  if (max < 0 || max > 65536) max = 65536;
  for (long fd = first; fd < max && fd <= static_cast<long>(last); ++fd) ::close(static_cast<int>(fd));
}

// Closes every descriptor from 3 up, except `keep`.
void CloseInherited(int keep) {
  if (keep > 3) CloseRange(3, static_cast<unsigned>(keep) - 1);
  CloseRange(static_cast<unsigned>(keep < 3 ? 3 : keep + 1), ~0U);
}

// What the child reports when it cannot run the program.
enum class FailedStep : int { Fork, Input, Folder, Exec };
struct ChildReport {
  FailedStep step;
  int err;
};

[[noreturn]] void ChildFails(int reportFd, FailedStep step, int err) {
  ChildReport report{step, err};
  ssize_t n = ::write(reportFd, &report, sizeof report);
  (void)n;
  ::_exit(127);
}

// Runs in the forked child: only async-signal-safe calls from here on.
[[noreturn]] void ExecChild(const char* path, char* const* argv, const char* folder, bool idle, int devNull,
                            int reportFd, bool detach) {
  if (detach) {
    ::setsid();
    pid_t grandchild = ::fork();
    if (grandchild < 0) ChildFails(reportFd, FailedStep::Fork, errno);
    if (grandchild > 0) ::_exit(0);  // the grandchild is adopted by the system
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);

  if (devNull == STDIN_FILENO ? ::fcntl(devNull, F_SETFD, 0) < 0 : ::dup2(devNull, STDIN_FILENO) < 0)
    ChildFails(reportFd, FailedStep::Input, errno);
  CloseInherited(reportFd);
  if (folder && ::chdir(folder) != 0) ChildFails(reportFd, FailedStep::Folder, errno);
  if (idle) ::setpriority(PRIO_PROCESS, 0, 19);
  ::execv(path, argv);
  ChildFails(reportFd, FailedStep::Exec, errno);
}

// Forks and executes; returns the child's pid (the intermediate one when
// detaching) or -1 with `error` filled. The child has executed the program
// when this returns successfully.
pid_t Spawn(const ProcessOptions& options, bool detach, ProcessError* error) {
  auto fail = [&](int err, const std::string& what) -> pid_t {
    if (error) {
      error->code = err;
      error->text = what + ": " + std::strerror(err);
    }
    return -1;
  };

  std::string path;
  int err = 0;
  if (!ResolveProgram(options.program, path, err)) return fail(err, options.program);
  std::vector<std::string> args;
  args.push_back(options.program);
  args.insert(args.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const char* folder = options.workingFolder.empty() ? nullptr : options.workingFolder.c_str();

  int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull < 0) return fail(errno, "/dev/null");
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    int e = errno;
    ::close(devNull);
    return fail(e, options.program);
  }

  pid_t pid = ::fork();
  if (pid == 0) ExecChild(path.c_str(), argv.data(), folder, options.idlePriority, devNull, report[1], detach);
  int forkErr = errno;
  ::close(report[1]);
  ::close(devNull);
  if (pid < 0) {
    ::close(report[0]);
    return fail(forkErr, options.program);
  }

  // The pipe closes without data once the program is executed; otherwise the
  // child sends the errno of the step that failed.
  ChildReport childReport{};
  std::size_t got = 0;
  while (got < sizeof childReport) {
    ssize_t n = ::read(report[0], reinterpret_cast<char*>(&childReport) + got, sizeof childReport - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(report[0]);

  const bool failed = got == sizeof childReport;
  if (detach || failed) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (failed) {
    return fail(childReport.err, childReport.step == FailedStep::Folder  ? options.workingFolder
                                 : childReport.step == FailedStep::Input ? std::string("/dev/null")
                                                                         : options.program);
  }
  return pid;
}

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
  }
#endif
  (void)pid;
  return -1;
}

}  // namespace

Process::~Process() { Release(); }

Process::Process(Process&& other) noexcept
    : pid_(other.pid_), pidFd_(other.pidFd_), ended_(other.ended_), exitCode_(other.exitCode_) {
  other.pid_ = -1;
  other.pidFd_ = -1;
}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Release();
    pid_ = other.pid_;
    pidFd_ = other.pidFd_;
    ended_ = other.ended_;
    exitCode_ = other.exitCode_;
    other.pid_ = -1;
    other.pidFd_ = -1;
  }
  return *this;
}

void Process::Release() {
  if (pidFd_ >= 0) ::close(pidFd_);
  pidFd_ = -1;
  if (pid_ > 0 && !ended_ && !Reap(false)) {
    pid_t pid = pid_;
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  }
  pid_ = -1;
  ended_ = false;
  exitCode_ = -1;
}

bool Process::Start(const ProcessOptions& options, ProcessError* error) {
  if (pid_ > 0 && Running()) {
    if (error) {
      error->code = EBUSY;
      error->text = options.program + ": the previous child still runs";
    }
    return false;
  }
  Release();
  pid_t pid = Spawn(options, false, error);
  if (pid < 0) return false;
  pid_ = pid;
  pidFd_ = OpenPidFd(pid);
  return true;
}

bool Process::StartDetached(const ProcessOptions& options, ProcessError* error) {
  return Spawn(options, true, error) > 0;
}

bool Process::Reap(bool block) {
  if (pid_ <= 0) return false;
  if (ended_) return true;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  ended_ = true;
  if (r < 0)
    exitCode_ = -1;  // reaped by someone else (SIGCHLD ignored)
  else if (WIFEXITED(status))
    exitCode_ = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    exitCode_ = 128 + WTERMSIG(status);
  if (pidFd_ >= 0) {
    ::close(pidFd_);
    pidFd_ = -1;
  }
  return true;
}

bool Process::Running() { return pid_ > 0 && !Reap(false); }

bool Process::Wait(int timeoutMs) {
  if (pid_ <= 0) return false;
  if (Reap(false)) return true;
  if (timeoutMs < 0) return Reap(true);
  const std::uint64_t deadline = TickCountMs() + static_cast<std::uint64_t>(timeoutMs);
  for (;;) {
    const std::uint64_t now = TickCountMs();
    const int left = now >= deadline ? 0 : static_cast<int>(deadline - now);
    if (pidFd_ >= 0) {
      pollfd p{pidFd_, POLLIN, 0};
      int r = ::poll(&p, 1, left);
      if (r < 0 && errno != EINTR) {
        ::close(pidFd_);  // fall back to polling the status
        pidFd_ = -1;
      }
    } else {
      timespec ts{0, 5 * 1000 * 1000};
      if (left < 5) ts.tv_nsec = static_cast<long>(left) * 1000 * 1000;
      ::nanosleep(&ts, nullptr);
    }
    if (Reap(false)) return true;
    if (left == 0) return false;
  }
}

int Process::ExitCode() {
  if (pid_ <= 0) return -1;
  return Reap(false) ? exitCode_ : kStillActive;
}

bool Process::End(int graceMs) {
  if (pid_ <= 0) return false;
  if (Reap(false)) return true;
  ::kill(pid_, SIGTERM);
  if (Wait(graceMs < 0 ? 0 : graceMs)) return true;
  ::kill(pid_, SIGKILL);
  return Wait(-1);
}

}  // namespace platform
