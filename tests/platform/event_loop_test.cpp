#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <thread>

namespace vorn {
namespace {

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
