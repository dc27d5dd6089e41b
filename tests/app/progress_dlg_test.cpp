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
  ProcessBriefly();
  EXPECT_EQ(ticks, 3);
}

// The owner ticks the dialog from a timer while Run serves the loop; the
// button cancels the run, End from a tick finishes it uncancelled.
TEST(QtProgressDialog, ButtonCancelsTheModalRunEndFinishesIt) {
  QtUiLoop ui;
  QtProgressDialog dialog(ui, nullptr);
  dialog.SetTexts("Connecting to Host", "Saying hello", false);
  int ticks = 0;
  UiLoop::TimerId timer = ui.StartTimer(5, [&] {
    dialog.SetCountdown(10 - ++ticks);
    if (ticks == 3) dialog.window()->button()->click();
  });
  dialog.Run();
  ui.KillTimer(timer);
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(dialog.IsCancelled());
  EXPECT_FALSE(dialog.window()->isVisible());
  EXPECT_EQ(dialog.window()->countdownText(), "Tries left: 7");

  QtProgressDialog ended(ui, nullptr);
  ended.SetTexts("Disconnecting from server", "Disconnecting...", true);
  timer = ui.StartTimer(5, [&] { ended.End(); });
  ended.Run();
  ui.KillTimer(timer);
  EXPECT_FALSE(ended.IsCancelled());
  EXPECT_FALSE(ended.IsOpen());
}

}  // namespace
}  // namespace vorn
