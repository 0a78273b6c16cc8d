// The program's one event loop: posted messages, timers and descriptor
// readiness, all handled on the thread that runs the loop.
//
// Contract (both backends, the headless poll() one and the Qt one):
//  1. Threads. Everything except `Post` is called on the loop's thread.
//     `Post` may be called from any thread; it never blocks on handlers.
//  2. One pass of the loop handles, in this order: the posts that were queued
//     when the pass began (in the order they were posted), the timers that are
//     due (earliest due first; two due at the same moment in the order they
//     were enabled), and the descriptors that are ready.
//  3. `ProcessPending()` runs one pass without waiting. `WaitAndProcess(ms)`
//     waits at most `ms` for something to become pending, then runs one pass.
//     Both may be called from inside a handler (re-entrantly); a timer never
//     re-enters its own handler, and a descriptor watch never re-enters its own
//     callback.
//  4. A post to a message target that has been destroyed, or is destroyed
//     before the post is handled, is dropped.
//  5. A timer handler may disable, re-enable, change or destroy its own timer.
//     Enabling a timer (or changing its interval while enabled) restarts its
//     count from now.
//  6. `RequestQuit()` makes `Terminated()` true; `Run` and `RunUntil` return at
//     the end of the current pass. Handlers already queued are not run by them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

using TargetId = std::uint64_t;

class EventLoop;

// Receives posted messages, the equivalent of a hidden window. Destroying the
// target drops every post still queued for it.
class MessageTarget {
 public:
  explicit MessageTarget(EventLoop& loop);
  virtual ~MessageTarget();
  MessageTarget(const MessageTarget&) = delete;
  MessageTarget& operator=(const MessageTarget&) = delete;

  TargetId Id() const { return id_; }
  EventLoop& Loop() const { return loop_; }
  // Posts to this target (thread-safe).
  void PostToSelf(std::uint32_t msg, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);

  // Called on the loop's thread for each post.
  virtual void HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) = 0;

 private:
  EventLoop& loop_;
  TargetId id_;
};

// A message target that hands each message to a function.
class CallbackTarget final : public MessageTarget {
 public:
  using Handler = std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)>;
  CallbackTarget(EventLoop& loop, Handler handler)
      : MessageTarget(loop), handler_(std::move(handler)) {}
  void HandleMessage(std::uint32_t msg, std::uintptr_t w, std::intptr_t l) override {
    if (handler_) handler_(msg, w, l);
  }

 private:
  Handler handler_;
};

// Backend side of a timer; created by the loop.
class TimerBackend {
 public:
  virtual ~TimerBackend() = default;
  // Starts or restarts the count (interval in ms, >= 0), or stops it.
  virtual void Arm(int intervalMs) = 0;
  virtual void Disarm() = 0;
};

// A timer component: an interval and an enabled flag. While enabled, OnTimer
// runs every `Interval()` ms. Enabling restarts the count. The default interval
// is 1000 ms, as with the component it stands in for; a new timer is disabled.
class Timer {
 public:
  explicit Timer(EventLoop& loop, int intervalMs = 1000, std::function<void()> onTimer = {});
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void SetOnTimer(std::function<void()> onTimer) { onTimer_ = std::move(onTimer); }
  int Interval() const { return intervalMs_; }
  void SetInterval(int intervalMs);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Called by the backend when the interval has elapsed.
  void Fire();

 private:
  std::unique_ptr<TimerBackend> backend_;
  std::function<void()> onTimer_;
  int intervalMs_;
  bool enabled_ = false;
  bool inHandler_ = false;
  std::shared_ptr<bool> alive_;
};

// Backend side of a descriptor watch.
class FdWatchBackend {
 public:
  virtual ~FdWatchBackend() = default;
  virtual void Update(bool read, bool write) = 0;
};

// Watches one file descriptor for read and write readiness. The callback gets
// (readable, writable); for an error or hang-up both are reported as ready so
// the owner finds out through its next read or write. The watch does not own
// the descriptor; destroy the watch before closing it.
class FdWatch {
 public:
  using Callback = std::function<void(bool readable, bool writable)>;
  FdWatch(EventLoop& loop, int fd, Callback callback);
  ~FdWatch();
  FdWatch(const FdWatch&) = delete;
  FdWatch& operator=(const FdWatch&) = delete;

  int Fd() const { return fd_; }
  void SetEvents(bool read, bool write);
  bool WantsRead() const { return read_; }
  bool WantsWrite() const { return write_; }

  // Called by the backend.
  void Notify(bool readable, bool writable);

 private:
  std::unique_ptr<FdWatchBackend> backend_;
  Callback callback_;
  int fd_;
  bool read_ = false;
  bool write_ = false;
  bool inCallback_ = false;
  std::shared_ptr<bool> alive_;
};

class EventLoop {
 public:
  EventLoop();
  virtual ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Queues a message for a target (thread-safe). Dropped when the target is
  // gone by the time it would be handled.
  void Post(TargetId target, std::uint32_t msg, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);
  // Queues a function to run on the loop's thread (thread-safe).
  void PostTask(std::function<void()> task);
  // The same, dropped when `guard` has expired by the time it would run.
  void PostGuardedTask(std::weak_ptr<void> guard, std::function<void()> task);

  // One pass without waiting.
  virtual void ProcessPending() = 0;
  // Waits at most `ms` (0: not at all) for work, then runs one pass.
  virtual void WaitAndProcess(int ms) = 0;
  // Runs passes until `done()` holds, the loop is terminated, or `limitMs`
  // (negative: no limit) has passed. Returns `done()`.
  bool RunUntil(const std::function<bool()>& done, int limitMs = -1);
  // Runs until terminated.
  void Run();

  void RequestQuit();
  bool Terminated() const { return terminated_; }
  // Clears the termination flag (a new run, e.g. in tests).
  void ResetTerminated() { terminated_ = false; }

  // Backend factories.
  virtual std::unique_ptr<TimerBackend> CreateTimer(Timer& owner) = 0;
  virtual std::unique_ptr<FdWatchBackend> CreateFdWatch(FdWatch& owner, int fd) = 0;

  // Target registry (used by MessageTarget).
  TargetId RegisterTarget(MessageTarget* target);
  void UnregisterTarget(TargetId id);

 protected:
  // Wakes a waiting loop because a post arrived (called from any thread).
  virtual void WakeUp() = 0;
  // Runs the posts queued before the call. Returns how many ran.
  int DispatchPosts();
  bool HasPosts() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  bool terminated_ = false;
};

// Creates the headless backend, on poll().
std::unique_ptr<EventLoop> CreatePollEventLoop();

}  // namespace platform
