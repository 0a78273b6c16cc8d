// Starting outside programs and waiting for them. A started child inherits
// the environment, standard output and standard error, reads its standard
// input from /dev/null and inherits no other descriptor of ours (so it never
// holds the single-instance lock or a socket). Signal mask and handlers are
// reset to the defaults in the child.
//
// A `Process` owns one child: it reaps it, so no zombie remains, and ends it
// only when asked (`End`). Destroying a `Process` whose child still runs
// leaves the child running, as closing a process handle does, and reaps it
// in the background when it ends. One object is used from one thread at a time.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ProcessOptions {
  // A path (a relative one counts from our current folder), or a bare name
  // looked up in PATH.
  std::string program;
  // The arguments after the program's name.
  std::vector<std::string> arguments;
  // The child's current folder; empty: ours.
  std::string workingFolder;
  // Nice 19: the child gets the processor only when nothing else wants it.
  // Its own children inherit that.
  bool idlePriority = false;
};

struct ProcessError {
  int code = 0;      // errno of the failing step
  std::string text;  // the program or folder, and the system's reason
};

class Process {
 public:
  // What `ExitCode` answers while the child runs, as the system it stands in
  // for does; an exit status of Linux never takes this value.
  static constexpr int kStillActive = 259;

  Process() = default;
  ~Process();
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts the child; true once the program runs (it has been executed, not
  // merely forked). False when the program cannot be found or executed, the
  // working folder cannot be entered, or this object still has a running child.
  bool Start(const ProcessOptions& options, ProcessError* error = nullptr);

  // Starts a child that belongs to nobody: in a session of its own, adopted by
  // the system so it outlives us and leaves no zombie. True once it runs.
  static bool StartDetached(const ProcessOptions& options, ProcessError* error = nullptr);

  bool Started() const { return pid_ > 0; }
  int Pid() const { return pid_; }

  // Whether the child still runs (never blocks).
  bool Running();
  // Waits until the child has ended, at most `timeoutMs` (negative: no limit).
  // True when it has ended (also when it had already), false on time-out.
  bool Wait(int timeoutMs = -1);
  // kStillActive while the child runs; its exit status once it has ended;
  // 128 + the signal's number when a signal ended it; -1 when there was no
  // child or its status could not be collected.
  int ExitCode();
  // Ends the child: SIGTERM, up to `graceMs` to go, then SIGKILL. True once it
  // has ended (at once when it had already; false only without a child).
  bool End(int graceMs = 3000);

 private:
  void Release();
  // Collects the status if the child has ended; true then.
  bool Reap(bool block);

  int pid_ = -1;
  int pidFd_ = -1;
  bool ended_ = false;
  int exitCode_ = -1;
};

}  // namespace platform
