// The main frame: its start, menus and private messages; the progress
// dialog whose modal run serves the Qt UI loop's timers (the loop's
// hand-off with worker threads is tested in tests/qtloop).
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>

#include "app_harness.h"
#include "main_frame.h"
#include "progress_dlg.h"
#include "qt_ui_loop.h"

namespace vorn {
namespace {

// Private messages without the marker are not the program's own; disabled
// commands never run, also when posted; an enabled one runs the same way.
TEST(MainFrame, StartsWithTheBannerAndOnlyMarkedMessagesAndEnabledCommandsRun) {
  AppHarness harness;
  CMainFrame& frame = harness.frame();
  frame.PostPrivateMessage(CMainFrame::kMessageWindowReady, 0);
  ProcessBriefly();
  EXPECT_FALSE(frame.firstActionsDone());
  ASSERT_TRUE(harness.StartAndSettle());
  EXPECT_TRUE(frame.isVisible());
  EXPECT_EQ(frame.mdiArea()->subWindowList().size(), 1);
  const QString text = harness.MessageText();
  EXPECT_TRUE(text.startsWith(
      QStringLiteral("Vorn for Win95 (version 1.2x1).\nPre-beta release version 0.9c\nMy IP number is 127.0.0.1\n")))
      << text.toStdString();
  // The list came from the built-in table: the tracker is asked once, by a
  // command the first actions post.
  EXPECT_TRUE(ProcessUntil([&] { return harness.MessageText().count(QStringLiteral("server list")) == 1; }))
      << harness.MessageText().toStdString();
  // Its input line feeds the command interpreter.
  QLineEdit* input = harness.app->views().messageView()->inputLine();
  QTest::keyClicks(input, QStringLiteral("/HELP"));
  QTest::keyClick(input, Qt::Key_Return);
  EXPECT_TRUE(ProcessUntil([&] { return harness.MessageText().contains(QStringLiteral("*** /xget - same as /get")); }));

  QWidget* message_frame = harness.app->views().messageView()->parentWidget();
  frame.CreateTextView("#chat");
  ASSERT_NE(frame.mdiArea()->currentSubWindow(), message_frame);
  frame.PostPrivateMessage(CMainFrame::kBringToTop, 0, message_frame);
  ProcessBriefly();
  EXPECT_NE(frame.mdiArea()->currentSubWindow(), message_frame);
  frame.PostPrivateMessage(CMainFrame::kBringToTop, CMainFrame::kMarker, message_frame);
  EXPECT_TRUE(ProcessUntil([&] { return frame.mdiArea()->currentSubWindow() == message_frame; }));
  harness.prompts.who_is = "Somebody";
  frame.PostCommand(CommandId::WhoIs);           // needs a connection
  frame.PostCommand(CommandId::ConnectDefault);  // needs a default server
  ProcessBriefly();
  EXPECT_TRUE(harness.prompts.asked.empty());
  EXPECT_FALSE(frame.Dispatch(CommandId::Disconnect));
  frame.UpdateCommandUi();
  EXPECT_FALSE(frame.action(CommandId::WhoIs)->isEnabled());
  frame.PostCommand(CommandId::About);
  EXPECT_TRUE(ProcessUntil([&] { return !harness.prompts.asked.empty(); }));
  EXPECT_EQ(harness.prompts.asked, std::vector<std::string>{"About"});

  // Without a window the view commands go; the message window opened again
  // does not repeat the first actions.
  frame.mdiArea()->closeAllSubWindows();
  ASSERT_TRUE(ProcessUntil([&] {
    frame.UpdateCommandUi();
    return harness.app->views().messageView() == nullptr &&
           !frame.menu(QStringLiteral("Edit"))->menuAction()->isVisible();
  }));
  EXPECT_FALSE(frame.action(CommandId::Clear)->isEnabled());
  frame.PostCommand(CommandId::MessageWindow);
  ASSERT_TRUE(ProcessUntil([&] { return harness.app->views().messageView() != nullptr; }));
  ProcessBriefly();
  EXPECT_EQ(harness.MessageText().count(QStringLiteral("server list")), 0);
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

  EXPECT_EQ(ui.ActiveTimerCount(), 0u);

  // A timer killed from its own tick ticks no more.
  QtProgressDialog ended(ui, nullptr);
  ended.SetTexts("Disconnecting from server", "Disconnecting...", true);
  timer = ui.StartTimer(5, [&] {
    ++ticks;
    ui.KillTimer(timer);
    ended.End();
  });
  ended.Run();
  ProcessBriefly();
  EXPECT_EQ(ticks, 4);
  EXPECT_FALSE(ended.IsCancelled());
  EXPECT_FALSE(ended.IsOpen());
  EXPECT_EQ(ui.ActiveTimerCount(), 0u);
}

}  // namespace
}  // namespace vorn
