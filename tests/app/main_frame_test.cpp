#include "main_frame.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTextEdit>

#include "app_harness.h"
#include "vorn95_view.h"

namespace vorn {
namespace {

QString MessageText(AppHarness& harness) {
  CVorn95View* view = harness.app->views().messageView();
  return view == nullptr ? QString() : view->outputPane()->toPlainText();
}

TEST(MainFrame, StartsWithTheMessageWindowAndItsBanner) {
  AppHarness harness;
  ASSERT_TRUE(harness.StartAndSettle());
  EXPECT_TRUE(harness.frame().isVisible());
  EXPECT_EQ(harness.frame().mdiArea()->subWindowList().size(), 1);
  const QString text = MessageText(harness);
  EXPECT_TRUE(text.startsWith(
      QStringLiteral("Vorn for Win95 (version 1.2x1).\nPre-beta release version 0.9c\nMy IP number is 127.0.0.1\n")))
      << text.toStdString();
  // The list came from the built-in table: the tracker is asked once.
  EXPECT_EQ(text.count(QStringLiteral("server list")), 1) << text.toStdString();
  // Reopening the message window does not repeat the first actions.
  harness.frame().mdiArea()->closeAllSubWindows();
  ASSERT_TRUE(ProcessUntil([&] { return harness.app->views().messageView() == nullptr; }));
  harness.frame().PostCommand(CommandId::MessageWindow);
  ASSERT_TRUE(ProcessUntil([&] { return harness.app->views().messageView() != nullptr; }));
  ProcessUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_EQ(MessageText(harness).count(QStringLiteral("server list")), 0);
}

TEST(MainFrame, DisabledCommandsNeverRunAlsoWhenPosted) {
  AppHarness harness;
  ASSERT_TRUE(harness.StartAndSettle());
  harness.prompts.who_is = "Somebody";
  harness.frame().PostCommand(CommandId::WhoIs);           // needs a connection
  harness.frame().PostCommand(CommandId::ConnectDefault);  // needs a default server
  ProcessUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_TRUE(harness.prompts.asked.empty());
  EXPECT_FALSE(harness.frame().Dispatch(CommandId::Disconnect));
  harness.frame().UpdateCommandUi();
  EXPECT_FALSE(harness.frame().action(CommandId::WhoIs)->isEnabled());
  EXPECT_FALSE(harness.frame().action(CommandId::ConnectDefault)->isEnabled());
  // An enabled one runs the same way.
  harness.frame().PostCommand(CommandId::About);
  EXPECT_TRUE(ProcessUntil([&] { return !harness.prompts.asked.empty(); }));
  EXPECT_EQ(harness.prompts.asked, std::vector<std::string>{"About"});
}

TEST(MainFrame, PrivateMessagesNeedTheMarker) {
  AppHarness harness;
  harness.frame().PostPrivateMessage(CMainFrame::kMessageWindowReady, 0);
  ProcessUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_FALSE(harness.frame().firstActionsDone());
  ASSERT_TRUE(harness.StartAndSettle());
  CMainFrame& frame = harness.frame();
  QWidget* message_frame = harness.app->views().messageView()->parentWidget();
  frame.CreateTextView("#chat");
  ASSERT_NE(frame.mdiArea()->currentSubWindow(), message_frame);
  frame.PostPrivateMessage(CMainFrame::kBringToTop, 0, message_frame);
  ProcessUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_NE(frame.mdiArea()->currentSubWindow(), message_frame);
  frame.PostPrivateMessage(CMainFrame::kBringToTop, CMainFrame::kMarker, message_frame);
  EXPECT_TRUE(ProcessUntil([&] { return frame.mdiArea()->currentSubWindow() == message_frame; }));
}

TEST(MainFrame, MenusFollowTheOpenWindowsAndTheGames) {
  AppHarness harness;
  harness.store.profile.WriteString("User Game 2", "Title", "Space Duel");
  harness.store.profile.WriteString("User Game 2", "Program", "/usr/games/duel");
  ASSERT_TRUE(harness.StartAndSettle());
  CMainFrame& frame = harness.frame();
  frame.UpdateCommandUi();
  EXPECT_TRUE(frame.menu(QStringLiteral("Edit"))->menuAction()->isVisible());
  EXPECT_EQ(frame.action(GameCommand(2))->text(), "&2. Space Duel");
  EXPECT_EQ(frame.action(GameCommand(2))->toolTip(), "Space Duel");
  EXPECT_TRUE(frame.action(GameCommand(2))->isEnabled());
  EXPECT_FALSE(frame.action(GameCommand(1))->isEnabled());
  EXPECT_EQ(frame.action(GameCommand(1))->toolTip(), "Game 1");
  frame.mdiArea()->closeAllSubWindows();
  ASSERT_TRUE(ProcessUntil([&] {
    frame.UpdateCommandUi();
    return !frame.menu(QStringLiteral("Edit"))->menuAction()->isVisible();
  }));
  EXPECT_FALSE(frame.action(CommandId::BackgroundColor)->isVisible());
  EXPECT_FALSE(frame.action(CommandId::Clear)->isEnabled());
}

TEST(MainFrame, LogCommandShowsWhetherTheActiveViewLogs) {
  AppHarness harness;
  ASSERT_TRUE(harness.StartAndSettle());
  harness.prompts.log_file = harness.store.Path("vorn.log");
  EXPECT_EQ(harness.frame().QueryCommand(CommandId::LogToFile).text, "&Log to File...");
  EXPECT_TRUE(harness.frame().Dispatch(CommandId::LogToFile));
  EXPECT_EQ(harness.frame().QueryCommand(CommandId::LogToFile).text, "Stop &Logging");
}

// With DOSBox as its driver the program opens the driver link at start-up
// and closes it on the way out.
TEST(MainFrame, DriverLinkOpensWithTheDosboxDriver) {
  TempProfile store;
  ScriptedDialogs dialogs;
  ScriptedPrompts prompts;
  AppOptions options;
  options.node.ephemeral_port = true;
  options.dosbox_port = 0;
  CVorn95App app(store.profile, options, &dialogs, &prompts);
  dialogs.loop = &app.ui();
  ASSERT_TRUE(app.Start());
  EXPECT_TRUE(app.node().driver_link().IsOpen());
  ASSERT_NE(app.dosbox(), nullptr);
  EXPECT_NE(app.dosbox()->BoundPort(), 0);
  app.frame().close();
  EXPECT_FALSE(app.node().driver_link().IsOpen());
}

}  // namespace
}  // namespace vorn
