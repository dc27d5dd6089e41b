#include "progress_dlg.h"

#include <gtest/gtest.h>

#include <QPushButton>

#include "app_harness.h"

namespace vorn {
namespace {

TEST(QtProgressDialog, ButtonCancelsTheModalRunAndTheAnimationCycles) {
  QtUiLoop ui;
  QtProgressDialog dialog(ui, nullptr);
  dialog.SetTexts("Connecting to Host", "Saying hello to Host at 127.0.0.1", true);
  EXPECT_EQ(dialog.window()->button()->text(), "&Close");
  dialog.SetTexts("Connecting to Host", "Saying hello", false);
  EXPECT_EQ(dialog.window()->button()->text(), "Cancel");
  for (int i = 0; i < ProgressDialog::kAnimationFrames + 1; ++i) dialog.Tick();
  EXPECT_EQ(dialog.window()->frame(), 0);  // twenty frames, then round again

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
  EXPECT_EQ(dialog.window()->countdownText(), "7");
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
