// The Qt UI loop, and the progress dialog whose modal run serves it.
#include "qt_ui_loop.h"

#include <QThread>
#include <atomic>
#include <thread>

#include "app_harness.h"
#include "progress_dlg.h"

namespace vorn {
namespace {

TEST(QtUiLoop, RunSyncAndPostsFromAWorkerRunOnTheUiThread) {
  QtUiLoop ui;
  QThread* ran_on = nullptr;
  bool ran_before_return = false;
  bool posted = false;
  std::thread worker([&] {
    ui.RunSync([&] { ran_on = QThread::currentThread(); });
    ran_before_return = ran_on != nullptr;
    ui.Post([&] { posted = true; });
  });
  ui.RunModal([&] { return posted; });
  worker.join();
  EXPECT_TRUE(ran_before_return);
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

TEST(QtProgressDialog, ButtonCancelsTheModalRunAndTheAnimationCycles) {
  QtUiLoop ui;
  QtProgressDialog dialog(ui, nullptr);
  dialog.SetTexts("Connecting to Host", "Saying hello to Host at 127.0.0.1", true);
  EXPECT_EQ(dialog.window()->button()->text(), "&Close");
  dialog.SetTexts("Connecting to Host", "Saying hello", false);
  EXPECT_EQ(dialog.window()->button()->text(), "Cancel");
  for (int i = 0; i < 20; ++i) dialog.Tick();
  EXPECT_EQ(dialog.window()->frame(), 19);  // twenty frames, then round again
  dialog.Tick();
  EXPECT_EQ(dialog.window()->frame(), 0);

  // The owner ticks it from a timer while Run serves the loop.
  int ticks = 0;
  const UiLoop::TimerId timer = ui.StartTimer(5, [&] {
    dialog.SetCountdown(10 - ++ticks);
    if (ticks == 3) dialog.window()->button()->click();
  });
  dialog.Run();
  ui.KillTimer(timer);
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(dialog.IsCancelled());
  EXPECT_FALSE(dialog.IsOpen());
  EXPECT_FALSE(dialog.window()->isVisible());
  EXPECT_EQ(dialog.window()->countdownText(), "Tries left: 7");
}

TEST(QtProgressDialog, EndFromATickFinishesTheRunUncancelled) {
  QtUiLoop ui;
  QtProgressDialog dialog(ui, nullptr);
  dialog.SetTexts("Disconnecting from server", "Disconnecting...", true);
  const UiLoop::TimerId timer = ui.StartTimer(5, [&] { dialog.End(); });
  dialog.Run();
  ui.KillTimer(timer);
  EXPECT_FALSE(dialog.IsCancelled());
}

}  // namespace
}  // namespace vorn
