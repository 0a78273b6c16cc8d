// The headless backend: one poll() over the watched descriptors and an eventfd
// that wakes the loop when a post arrives from any thread.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <map>
#include <vector>

#include "platform/EventLoop.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

class PollEventLoop;

class PollTimer final : public TimerBackend {
 public:
  PollTimer(PollEventLoop& loop, Timer& owner);
  ~PollTimer() override;
  void Arm(int intervalMs) override;
  void Disarm() override;

 private:
  PollEventLoop& loop_;
  std::uint64_t id_;
};

class PollFdWatch final : public FdWatchBackend {
 public:
  PollFdWatch(PollEventLoop& loop, FdWatch& owner, int fd);
  ~PollFdWatch() override;
  void Update(bool read, bool write) override;

 private:
  PollEventLoop& loop_;
  std::uint64_t id_;
};

class PollEventLoop final : public EventLoop {
 public:
  PollEventLoop() {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  ~PollEventLoop() override {
    if (wakeFd_ >= 0) close(wakeFd_);
  }

  void ProcessPending() override { Pass(0); }
  void WaitAndProcess(int ms) override { Pass(ms < 0 ? 0 : ms); }

  std::unique_ptr<TimerBackend> CreateTimer(Timer& owner) override {
    return std::make_unique<PollTimer>(*this, owner);
  }
  std::unique_ptr<FdWatchBackend> CreateFdWatch(FdWatch& owner, int fd) override {
    return std::make_unique<PollFdWatch>(*this, owner, fd);
  }

  // --- timers ---
  struct TimerEntry {
    Timer* owner = nullptr;
    bool armed = false;
    Clock::time_point due;
    std::uint64_t armSeq = 0;
  };
  std::uint64_t AddTimer(Timer& owner) {
    std::uint64_t id = nextId_++;
    timers_[id].owner = &owner;
    return id;
  }
  void RemoveTimer(std::uint64_t id) { timers_.erase(id); }
  void ArmTimer(std::uint64_t id, int ms) {
    auto& t = timers_[id];
    t.armed = true;
    t.due = Clock::now() + std::chrono::milliseconds(ms);
    t.armSeq = nextSeq_++;
  }
  void DisarmTimer(std::uint64_t id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second.armed = false;
  }

  // --- descriptor watches ---
  struct WatchEntry {
    FdWatch* owner = nullptr;
    int fd = -1;
    bool read = false;
    bool write = false;
  };
  std::uint64_t AddWatch(FdWatch& owner, int fd) {
    std::uint64_t id = nextId_++;
    auto& w = watches_[id];
    w.owner = &owner;
    w.fd = fd;
    return id;
  }
  void RemoveWatch(std::uint64_t id) { watches_.erase(id); }
  void UpdateWatch(std::uint64_t id, bool read, bool write) {
    auto it = watches_.find(id);
    if (it == watches_.end()) return;
    it->second.read = read;
    it->second.write = write;
  }

 protected:
  void WakeUp() override {
    if (wakeFd_ < 0) return;
    std::uint64_t one = 1;
    ssize_t r = write(wakeFd_, &one, sizeof one);
    (void)r;
  }

 private:
  int MsToNextTimer() const {
    bool any = false;
    Clock::time_point next{};
    for (const auto& [id, t] : timers_) {
      if (!t.armed) continue;
      if (!any || t.due < next) next = t.due;
      any = true;
    }
    if (!any) return -1;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
    if (ms < 0) return 0;
    // Round up so that a wait never ends just before the timer is due.
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(next - Clock::now()).count();
    if (us > ms * 1000) ++ms;
    return static_cast<int>(ms);
  }

  // Polls the watched descriptors (and the wake descriptor) for `timeoutMs`.
  void PollOnce(int timeoutMs, std::vector<pollfd>& fds, std::vector<std::uint64_t>& ids) {
    fds.clear();
    ids.clear();
    if (wakeFd_ >= 0) {
      fds.push_back({wakeFd_, POLLIN, 0});
      ids.push_back(0);
    }
    for (const auto& [id, w] : watches_) {
      short events = (w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0);
      if (!events) continue;
      fds.push_back({w.fd, events, 0});
      ids.push_back(id);
    }
    int r;
    do {
      r = poll(fds.data(), fds.size(), timeoutMs);
    } while (r < 0 && errno == EINTR && timeoutMs == 0);
    if (r <= 0) {
      for (auto& p : fds) p.revents = 0;
    }
    if (wakeFd_ >= 0 && (fds[0].revents & POLLIN)) {
      std::uint64_t value;
      ssize_t n = read(wakeFd_, &value, sizeof value);
      (void)n;
    }
  }

  bool RunDueTimers() {
    const auto now = Clock::now();
    std::vector<std::pair<std::pair<Clock::time_point, std::uint64_t>, std::uint64_t>> due;
    for (const auto& [id, t] : timers_)
      if (t.armed && t.due <= now) due.push_back({{t.due, t.armSeq}, id});
    std::sort(due.begin(), due.end());
    for (const auto& [key, id] : due) {
      auto it = timers_.find(id);
      // Destroyed, disarmed or re-armed by an earlier handler of this pass.
      if (it == timers_.end() || !it->second.armed || it->second.armSeq != key.second) continue;
      it->second.owner->Fire();
    }
    return !due.empty();
  }

  void Pass(int waitMs) {
    int timeout = waitMs;
    if (HasPosts() || Terminated()) {
      timeout = 0;
    } else {
      int toTimer = MsToNextTimer();
      if (toTimer >= 0 && toTimer < timeout) timeout = toTimer;
    }
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> ids;
    PollOnce(timeout, fds, ids);

    bool changed = DispatchPosts() > 0;
    changed = RunDueTimers() || changed;
    if (changed) PollOnce(0, fds, ids);  // handlers may have consumed or closed

    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (ids[i] == 0 || fds[i].revents == 0) continue;
      auto it = watches_.find(ids[i]);
      if (it == watches_.end()) continue;  // removed by an earlier callback
      const short rev = fds[i].revents;
      const bool failed = rev & (POLLERR | POLLHUP | POLLNVAL);
      const bool readable = (rev & POLLIN) || failed;
      const bool writable = (rev & POLLOUT) || failed;
      it->second.owner->Notify(readable, writable);
    }
  }

  int wakeFd_ = -1;
  std::uint64_t nextId_ = 1;
  std::uint64_t nextSeq_ = 1;
  std::map<std::uint64_t, TimerEntry> timers_;
  std::map<std::uint64_t, WatchEntry> watches_;
};

PollTimer::PollTimer(PollEventLoop& loop, Timer& owner) : loop_(loop), id_(loop.AddTimer(owner)) {}
PollTimer::~PollTimer() { loop_.RemoveTimer(id_); }
void PollTimer::Arm(int intervalMs) { loop_.ArmTimer(id_, intervalMs); }
void PollTimer::Disarm() { loop_.DisarmTimer(id_); }

PollFdWatch::PollFdWatch(PollEventLoop& loop, FdWatch& owner, int fd) : loop_(loop), id_(loop.AddWatch(owner, fd)) {}
PollFdWatch::~PollFdWatch() { loop_.RemoveWatch(id_); }
void PollFdWatch::Update(bool read, bool write) { loop_.UpdateWatch(id_, read, write); }

}  // namespace

std::unique_ptr<EventLoop> CreatePollEventLoop() { return std::make_unique<PollEventLoop>(); }

}  // namespace platform
