#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vorn {
namespace {

TEST(EventLoop, ModalWaitOnAManualClockAdvancesToEachTimer) {
  ManualClock clock;
  EventLoop loop(clock, EventLoop::Idle::AdvanceClock);
  std::vector<int32_t> ticks;
  auto id = loop.StartTimer(500, [&] { ticks.push_back(clock.NowMs()); });
  loop.RunModal([&] { return ticks.size() == 3; });
  loop.KillTimer(id);
  EXPECT_EQ(ticks, (std::vector<int32_t>{500, 1000, 1500}));
  EXPECT_EQ(loop.ActiveTimerCount(), 0u);
}

TEST(EventLoop, ATickMayKillItsOwnTimer) {
  ManualClock clock;
  EventLoop loop(clock, EventLoop::Idle::AdvanceClock);
  int count = 0;
  UiLoop::TimerId id = 0;
  id = loop.StartTimer(100, [&] {
    if (++count == 2) loop.KillTimer(id);
  });
  loop.RunModal([&] { return loop.ActiveTimerCount() == 0; });
  EXPECT_EQ(count, 2);
}

TEST(EventLoop, RunSyncFromAnotherThreadRunsOnTheLoop) {
  SteadyClock clock;
  EventLoop loop(clock, EventLoop::Idle::Wait);
  std::thread::id ran_on;
  std::thread worker([&] {
    loop.RunSync([&] { ran_on = std::this_thread::get_id(); });
    loop.Quit();
  });
  loop.Run();
  worker.join();
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(EventLoop, RunSyncAfterQuitDoesNotHang) {
  SteadyClock clock;
  EventLoop loop(clock, EventLoop::Idle::Wait);
  loop.Quit();
  bool ran = false;
  std::thread worker([&] { loop.RunSync([&] { ran = true; }); });
  worker.join();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace vorn
