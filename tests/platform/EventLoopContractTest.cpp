// One contract for both loop backends: order of posts, timers, re-entrant
// passes, descriptor readiness and quitting.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/qt/QtEventLoop.h"

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

using Factory = std::unique_ptr<EventLoop> (*)();

class EventLoopContract : public ::testing::TestWithParam<Factory> {
 protected:
  void SetUp() override { loop = GetParam()(); }
  std::unique_ptr<EventLoop> loop;
};

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST_P(EventLoopContract, PostsRunInOrderAndPostsToDestroyedTargetsAreDropped) {
  std::vector<int> seen;
  CallbackTarget a(*loop, [&](std::uint32_t m, std::uintptr_t w, std::intptr_t l) {
    seen.push_back(static_cast<int>(m * 100 + w * 10 + l));
  });
  auto b = std::make_unique<CallbackTarget>(*loop, [&](std::uint32_t m, std::uintptr_t, std::intptr_t) {
    seen.push_back(-static_cast<int>(m));
  });
  a.PostToSelf(1, 2, 3);
  b->PostToSelf(7);
  loop->Post(a.Id(), 4, 5, 6);
  loop->PostTask([&] { seen.push_back(999); });
  b.reset();  // its queued post must vanish
  loop->ProcessPending();
  EXPECT_EQ(seen, (std::vector<int>{123, 456, 999}));

  // A post to a target id that never existed is dropped too.
  loop->Post(123456789, 1);
  loop->ProcessPending();
  EXPECT_EQ(seen.size(), 3u);
}

TEST_P(EventLoopContract, GuardedTaskIsDroppedWhenGuardExpired) {
  int ran = 0;
  auto guard = std::make_shared<int>(0);
  loop->PostGuardedTask(guard, [&] { ++ran; });
  loop->PostGuardedTask(guard, [&] { ran += 10; });
  loop->ProcessPending();
  EXPECT_EQ(ran, 11);
  loop->PostGuardedTask(guard, [&] { ran += 100; });
  guard.reset();
  loop->ProcessPending();
  EXPECT_EQ(ran, 11);
}

TEST_P(EventLoopContract, PostsFromOtherThreadsArriveInTheirOrder) {
  std::vector<int> seen;
  CallbackTarget t(*loop, [&](std::uint32_t m, std::uintptr_t, std::intptr_t) { seen.push_back(static_cast<int>(m)); });
  std::thread worker([&] {
    for (int i = 0; i < 500; ++i) t.PostToSelf(static_cast<std::uint32_t>(i));
  });
  EXPECT_TRUE(loop->RunUntil([&] { return seen.size() == 500; }, 5000));
  worker.join();
  for (int i = 0; i < 500; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)], i);
}

TEST_P(EventLoopContract, WaitAndProcessWakesForAPostFromAnotherThread) {
  std::atomic<bool> got{false};
  CallbackTarget t(*loop, [&](std::uint32_t, std::uintptr_t, std::intptr_t) { got = true; });
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    t.PostToSelf(1);
  });
  const auto start = Clock::now();
  while (!got && ElapsedMs(start) < 3000) loop->WaitAndProcess(2000);
  worker.join();
  EXPECT_TRUE(got);
  EXPECT_LT(ElapsedMs(start), 1500);  // woken by the post, not by the 2 s limit
}

TEST_P(EventLoopContract, TimerTicksOnTimeAndEnablingRestartsTheCount) {
  int ticks = 0;
  Timer timer(*loop, 40, [&] { ++ticks; });
  EXPECT_FALSE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 40);
  const auto start = Clock::now();
  timer.SetEnabled(true);
  loop->RunUntil([&] { return ticks >= 5; }, 3000);
  EXPECT_EQ(ticks, 5);
  EXPECT_GE(ElapsedMs(start), 5 * 40 - 5);

  // Re-enabling just before the tick pushes it a whole interval away.
  Timer late(*loop, 100, [&] { ++ticks; });
  late.SetEnabled(true);
  timer.SetEnabled(false);
  ticks = 0;
  const auto t0 = Clock::now();
  loop->RunUntil([] { return false; }, 70);
  late.SetEnabled(true);
  const auto t1 = Clock::now();
  loop->RunUntil([&] { return ticks > 0; }, 3000);
  EXPECT_EQ(ticks, 1);
  EXPECT_GE(ElapsedMs(t1), 95);
  EXPECT_GE(ElapsedMs(t0), 160);
}

TEST_P(EventLoopContract, HandlerMayDisableReenableOrDestroyItsOwnTimer) {
  int ticks = 0;
  Timer once(*loop, 5, nullptr);
  once.SetOnTimer([&] {
    ++ticks;
    once.SetEnabled(false);
  });
  once.SetEnabled(true);
  loop->RunUntil([] { return false; }, 60);
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(once.Enabled());

  int again = 0;
  Timer re(*loop, 5, nullptr);
  re.SetOnTimer([&] {
    ++again;
    re.SetEnabled(false);
    if (again < 3) re.SetEnabled(true);
  });
  re.SetEnabled(true);
  loop->RunUntil([] { return false; }, 100);
  EXPECT_EQ(again, 3);

  int gone = 0;
  auto self = std::make_unique<Timer>(*loop, 5, nullptr);
  self->SetOnTimer([&] {
    ++gone;
    self.reset();
  });
  self->SetEnabled(true);
  loop->RunUntil([] { return false; }, 60);
  EXPECT_EQ(gone, 1);
  EXPECT_EQ(self, nullptr);
}

TEST_P(EventLoopContract, ReentrantProcessPendingRunsOthersButNeverTheSameTimer) {
  std::vector<std::string> order;
  CallbackTarget t(*loop, [&](std::uint32_t m, std::uintptr_t, std::intptr_t) {
    order.push_back("post" + std::to_string(m));
    if (m == 1) loop->ProcessPending();  // runs post 2 from inside post 1
  });
  t.PostToSelf(1);
  t.PostToSelf(2);
  loop->ProcessPending();
  EXPECT_EQ(order, (std::vector<std::string>{"post1", "post2"}));

  int depth = 0, maxDepth = 0, ticks = 0;
  Timer timer(*loop, 1, nullptr);
  timer.SetOnTimer([&] {
    ++ticks;
    maxDepth = std::max(maxDepth, ++depth);
    const auto start = Clock::now();
    while (ElapsedMs(start) < 20) loop->WaitAndProcess(5);  // the timer is due again meanwhile
    --depth;
    if (ticks >= 3) timer.SetEnabled(false);
  });
  timer.SetEnabled(true);
  EXPECT_TRUE(loop->RunUntil([&] { return ticks >= 3; }, 3000));
  EXPECT_EQ(maxDepth, 1);
}

TEST_P(EventLoopContract, DescriptorReadinessIsReported) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int readable = 0, writable = 0;
  char got = 0;
  FdWatch reader(*loop, fds[0], [&](bool r, bool) {
    if (r && read(fds[0], &got, 1) == 1) ++readable;
  });
  FdWatch writer(*loop, fds[1], [&](bool, bool w) {
    if (w) ++writable;
  });
  reader.SetEvents(true, false);
  loop->WaitAndProcess(20);
  EXPECT_EQ(readable, 0);

  writer.SetEvents(false, true);
  loop->RunUntil([&] { return writable > 0; }, 2000);
  EXPECT_GT(writable, 0);
  writer.SetEvents(false, false);

  ASSERT_EQ(write(fds[1], "x", 1), 1);
  loop->RunUntil([&] { return readable > 0; }, 2000);
  EXPECT_EQ(readable, 1);
  EXPECT_EQ(got, 'x');

  // Switched off: data waits, nothing is reported.
  reader.SetEvents(false, false);
  ASSERT_EQ(write(fds[1], "y", 1), 1);
  loop->RunUntil([] { return false; }, 30);
  EXPECT_EQ(readable, 1);
  reader.SetEvents(true, false);
  loop->RunUntil([&] { return readable > 1; }, 2000);
  EXPECT_EQ(got, 'y');
  close(fds[0]);
  close(fds[1]);
}

TEST_P(EventLoopContract, WatchDestroyedInItsCallbackIsSafe) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int calls = 0;
  std::unique_ptr<FdWatch> w;
  w = std::make_unique<FdWatch>(*loop, fds[0], [&](bool, bool) {
    ++calls;
    w.reset();
  });
  w->SetEvents(true, false);
  ASSERT_EQ(write(fds[1], "z", 1), 1);
  loop->RunUntil([&] { return calls > 0; }, 2000);
  loop->RunUntil([] { return false; }, 30);
  EXPECT_EQ(calls, 1);
  close(fds[0]);
  close(fds[1]);
}

TEST_P(EventLoopContract, RequestQuitEndsRunAndRunUntilHonoursItsLimit) {
  EXPECT_FALSE(loop->Terminated());
  loop->PostTask([&] { loop->RequestQuit(); });
  loop->Run();
  EXPECT_TRUE(loop->Terminated());
  EXPECT_FALSE(loop->RunUntil([] { return false; }, 1000));  // returns at once when terminated
  loop->ResetTerminated();

  const auto start = Clock::now();
  EXPECT_FALSE(loop->RunUntil([] { return false; }, 50));
  EXPECT_GE(ElapsedMs(start), 45);
  EXPECT_LT(ElapsedMs(start), 1000);
}

INSTANTIATE_TEST_SUITE_P(Backends, EventLoopContract,
                         ::testing::Values(&CreatePollEventLoop, &CreateQtEventLoop),
                         [](const ::testing::TestParamInfo<Factory>& info) {
                           return info.index == 0 ? std::string("Poll") : std::string("Qt");
                         });

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // the Qt backend needs one; no display
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
