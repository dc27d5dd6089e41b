#include "qt_ui_loop.h"

#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <thread>

#include "app_harness.h"

namespace vorn {
namespace {

TEST(QtUiLoop, RunSyncFromAWorkerRunsOnTheUiThreadAndWaits) {
  QtUiLoop ui;
  QThread* ran_on = nullptr;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    ui.RunSync([&] { ran_on = QThread::currentThread(); });
    returned = true;
  });
  EXPECT_TRUE(ProcessUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_EQ(ran_on, QThread::currentThread());
}

// The close joins the worker threads while the UI thread no longer serves
// their calls: a worker waiting in RunSync must be released, and its task
// (which borrows the worker's stack) must never run afterwards.
TEST(QtUiLoop, StopDeliveringReleasesAWaitingWorker) {
  QtUiLoop ui;
  std::atomic<bool> ran{false};
  std::atomic<bool> calling{false};
  std::thread worker([&] {
    calling = true;
    ui.RunSync([&] { ran = true; });
  });
  while (!calling) std::this_thread::yield();
  ui.StopDelivering();
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
  // Later calls and posts return at once and do nothing.
  std::thread late([&] { ui.RunSync([&] { ran = true; }); });
  late.join();
  ui.Post([&] { ran = true; });
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

// While the UI thread waits for worker threads to end, their synchronous
// calls are refused rather than left waiting; afterwards they run again.
TEST(QtUiLoop, JoinScopeRefusesWorkersForItsDurationOnly) {
  QtUiLoop ui;
  std::atomic<bool> ran{false};
  std::atomic<int> refused{0};
  {
    QtUiLoop::WorkerJoinScope joining(ui);
    std::thread worker([&] {
      if (!ui.Deliver([&] { ran = true; })) ++refused;
    });
    worker.join();  // would hang if the worker waited for this thread
  }
  EXPECT_EQ(refused, 1);
  std::atomic<bool> returned{false};
  std::thread later([&] {
    ran = ui.Deliver([] {});
    returned = true;
  });
  EXPECT_TRUE(ProcessUntil([&] { return returned.load(); }));
  later.join();
  EXPECT_TRUE(ran);
}

TEST(QtUiLoop, TimersTickUntilKilledEvenFromTheirOwnTick) {
  QtUiLoop ui;
  int ticks = 0;
  UiLoop::TimerId id = 0;
  id = ui.StartTimer(5, [&] {
    if (++ticks == 3) ui.KillTimer(id);
  });
  EXPECT_TRUE(ProcessUntil([&] { return ticks >= 3; }));
  EXPECT_EQ(ui.ActiveTimerCount(), 0u);
  ProcessUntil([] { return false; }, std::chrono::milliseconds(40));
  EXPECT_EQ(ticks, 3);
}

TEST(QtUiLoop, RunModalServesPostsUntilDone) {
  QtUiLoop ui;
  bool done = false;
  std::thread worker([&] { ui.Post([&] { done = true; }); });
  ui.RunModal([&] { return done; });
  worker.join();
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace vorn
