#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vorn {
namespace {

// A modal wait on a manual clock advances to each timer; a tick may kill
// its own timer.
TEST(EventLoop, ModalWaitOnAManualClockAdvancesToEachTimer) {
  ManualClock clock;
  EventLoop loop(clock, EventLoop::Idle::AdvanceClock);
  std::vector<int32_t> ticks;
  UiLoop::TimerId id = 0;
  id = loop.StartTimer(500, [&] {
    ticks.push_back(clock.NowMs());
    if (ticks.size() == 3) loop.KillTimer(id);
  });
  loop.RunModal([&] { return loop.ActiveTimerCount() == 0; });
  EXPECT_EQ(ticks, (std::vector<int32_t>{500, 1000, 1500}));
}

// RunSync from another thread runs on the loop; once the loop has quit it
// returns without running.
TEST(EventLoop, RunSyncRunsOnTheLoopAndAfterQuitDoesNotHang) {
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
  bool ran = false;
  std::thread late([&] { loop.RunSync([&] { ran = true; }); });
  late.join();
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace vorn
