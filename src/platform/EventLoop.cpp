// Parts of the loop shared by both backends: the target registry, the post
// queue, and the timer and descriptor-watch front ends.
#include "platform/EventLoop.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace platform {

namespace {
struct PostedItem {
  std::uint64_t seq = 0;  // order of posting
  TargetId target = 0;    // 0: a task
  std::uint32_t msg = 0;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
  std::function<void()> task;
  std::weak_ptr<void> guard;
  bool guarded = false;
};
}  // namespace

struct EventLoop::Impl {
  mutable std::mutex mutex;
  std::deque<PostedItem> posts;
  std::uint64_t nextSeq = 1;
  std::unordered_map<TargetId, MessageTarget*> targets;  // loop thread only
  TargetId nextId = 1;
};

// --- MessageTarget -------------------------------------------------------

MessageTarget::MessageTarget(EventLoop& loop) : loop_(loop), id_(loop.RegisterTarget(this)) {}

MessageTarget::~MessageTarget() { loop_.UnregisterTarget(id_); }

void MessageTarget::PostToSelf(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  loop_.Post(id_, msg, wparam, lparam);
}

// --- Timer ---------------------------------------------------------------

Timer::Timer(EventLoop& loop, int intervalMs, std::function<void()> onTimer)
    : onTimer_(std::move(onTimer)), intervalMs_(intervalMs < 0 ? 0 : intervalMs),
      alive_(std::make_shared<bool>(true)) {
  backend_ = loop.CreateTimer(*this);
}

Timer::~Timer() {
  *alive_ = false;
  backend_->Disarm();
}

void Timer::SetInterval(int intervalMs) {
  intervalMs_ = intervalMs < 0 ? 0 : intervalMs;
  if (enabled_) backend_->Arm(intervalMs_);
}

void Timer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (enabled_)
    backend_->Arm(intervalMs_);
  else
    backend_->Disarm();
}

void Timer::Fire() {
  if (!enabled_) return;
  // The count for the next tick starts now, before the handler runs. A tick
  // that falls inside the running handler (a nested pass) is skipped.
  backend_->Arm(intervalMs_);
  if (inHandler_ || !onTimer_) return;
  std::shared_ptr<bool> alive = alive_;
  inHandler_ = true;
  auto handler = onTimer_;  // the handler may replace or destroy us
  handler();
  if (*alive) inHandler_ = false;
}

// --- FdWatch -------------------------------------------------------------

FdWatch::FdWatch(EventLoop& loop, int fd, Callback callback)
    : callback_(std::move(callback)), fd_(fd), alive_(std::make_shared<bool>(true)) {
  backend_ = loop.CreateFdWatch(*this, fd);
}

FdWatch::~FdWatch() {
  *alive_ = false;
  backend_->Update(false, false);
}

void FdWatch::SetEvents(bool read, bool write) {
  read_ = read;
  write_ = write;
  backend_->Update(read, write);
}

void FdWatch::Notify(bool readable, bool writable) {
  if (inCallback_ || !callback_) return;
  readable = readable && read_;
  writable = writable && write_;
  if (!readable && !writable) return;
  std::shared_ptr<bool> alive = alive_;
  inCallback_ = true;
  auto callback = callback_;
  callback(readable, writable);
  if (*alive) inCallback_ = false;
}

// --- EventLoop -----------------------------------------------------------

EventLoop::EventLoop() : impl_(std::make_unique<Impl>()) {}

EventLoop::~EventLoop() = default;

void EventLoop::Post(TargetId target, std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  {
    std::lock_guard lock(impl_->mutex);
    PostedItem item;
    item.seq = impl_->nextSeq++;
    item.target = target;
    item.msg = msg;
    item.wparam = wparam;
    item.lparam = lparam;
    impl_->posts.push_back(std::move(item));
  }
  WakeUp();
}

void EventLoop::PostTask(std::function<void()> task) {
  {
    std::lock_guard lock(impl_->mutex);
    PostedItem item;
    item.seq = impl_->nextSeq++;
    item.task = std::move(task);
    impl_->posts.push_back(std::move(item));
  }
  WakeUp();
}

void EventLoop::PostGuardedTask(std::weak_ptr<void> guard, std::function<void()> task) {
  {
    std::lock_guard lock(impl_->mutex);
    PostedItem item;
    item.seq = impl_->nextSeq++;
    item.task = std::move(task);
    item.guard = std::move(guard);
    item.guarded = true;
    impl_->posts.push_back(std::move(item));
  }
  WakeUp();
}

TargetId EventLoop::RegisterTarget(MessageTarget* target) {
  std::lock_guard lock(impl_->mutex);
  TargetId id = impl_->nextId++;
  impl_->targets[id] = target;
  return id;
}

void EventLoop::UnregisterTarget(TargetId id) {
  std::lock_guard lock(impl_->mutex);
  impl_->targets.erase(id);
}

bool EventLoop::HasPosts() const {
  std::lock_guard lock(impl_->mutex);
  return !impl_->posts.empty();
}

int EventLoop::DispatchPosts() {
  std::uint64_t last;
  {
    std::lock_guard lock(impl_->mutex);
    last = impl_->nextSeq - 1;
  }
  int ran = 0;
  // Only what was queued when the pass began; posts made by handlers wait for
  // the next pass, also when a nested pass has taken some of the earlier ones.
  for (;;) {
    PostedItem item;
    MessageTarget* target = nullptr;
    {
      std::lock_guard lock(impl_->mutex);
      if (impl_->posts.empty() || impl_->posts.front().seq > last) break;
      item = std::move(impl_->posts.front());
      impl_->posts.pop_front();
      if (item.target != 0) {
        auto it = impl_->targets.find(item.target);
        if (it == impl_->targets.end()) continue;
        target = it->second;
      }
    }
    if (target) {
      target->HandleMessage(item.msg, item.wparam, item.lparam);
      ++ran;
    } else if (item.task) {
      if (item.guarded) {
        auto keep = item.guard.lock();
        if (!keep) continue;
        item.task();
      } else {
        item.task();
      }
      ++ran;
    }
  }
  return ran;
}

bool EventLoop::RunUntil(const std::function<bool()>& done, int limitMs) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  while (!done()) {
    if (terminated_) return done();
    int wait = 50;
    if (limitMs >= 0) {
      auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      if (spent >= limitMs) return done();
      if (limitMs - spent < wait) wait = static_cast<int>(limitMs - spent);
    }
    WaitAndProcess(wait);
  }
  return true;
}

void EventLoop::Run() {
  while (!terminated_) WaitAndProcess(1000);
}

void EventLoop::RequestQuit() {
  terminated_ = true;
  WakeUp();
}

}  // namespace platform
