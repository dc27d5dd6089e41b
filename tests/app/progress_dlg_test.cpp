// The Qt UI loop's timers, and the progress dialog whose modal run serves
// it; the loop's hand-off with worker threads is tested in tests/qtloop.
#include "qt_ui_loop.h"

#include "app_harness.h"
#include "progress_dlg.h"

namespace vorn {
namespace {

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
