// The text views: what an append does to the pane and the log, the
// registry that routes text to them, and their input line.
#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <thread>

#include "app_harness.h"
#include "chat_input_line.h"
#include "line_feeds.h"
#include "platform/text.h"
#include "qt_chat_windows.h"
#include "view_registry.h"

namespace vorn {
namespace {

// The first line feed (or, without one, the first dash 0xC4) decides
// whether a text is converted; a conversion never loses a byte.
TEST(LineFeeds, BareLineFeedsAndDashesAreConvertedCrLfStaysUnchanged) {
  const std::string dash(1, static_cast<char>(0xC4));
  const struct {
    std::string in, out;
  } rows[] = {
      {"one\ntwo\n", "one\r\ntwo\r\n"},
      {"one\r\ntwo\r\n", "one\r\ntwo\r\n"},
      {"one\n\rtwo", "one\n\rtwo"},                    // CR after the line feed
      {"\nleading feed", "\nleading feed"},            // at the first byte
      {"a" + dash + dash + "b", "a--b"},               // a dash without any line feed
      {"a\r\n" + dash, "a\r\n" + dash},                // the line feed decides first
      {"\xC4\x85\xC4\x8D\n", "\xC4\x85\xC4\x8D\r\n"},  // UTF-8 letters led by 0xC4 stay
      {"a" + dash + "\xC4\x85", "a-\xC4\x85"},         // only the lone 0xC4 is a dash
  };
  for (const auto& row : rows) EXPECT_EQ(PrepareForView(row.in), row.out) << row.in;
  // A line that has its CR in a converted text keeps exactly one.
  EXPECT_EQ(ConvertLineFeeds("one\ntwo\r\n"), "one\r\ntwo\r\n");
  // Time stamps go before lines, also a line continued by the next text.
  bool at_start = true;
  EXPECT_EQ(StampLines("a\r\nb", "[t] ", at_start), "[t] a\r\n[t] b");
  EXPECT_EQ(StampLines("c\r\n", "[t] ", at_start), "c\r\n");
  EXPECT_TRUE(at_start);
}

constexpr uint32_t kRed = 0x000000C0;
constexpr uint32_t kBlue = 0x00C00000;

class TextViewTest : public ::testing::Test {
 protected:
  TextViewTest() : views(ui, clock) {}

  // The message window, created as the main frame creates it.
  std::unique_ptr<CVorn95View> MakeMessageWindow() {
    views.SetCreatingMessageWindow(true);
    auto window = std::make_unique<CVorn95View>(Services(), "", 1);
    views.SetCreatingMessageWindow(false);
    window->resize(400, 300);
    window->show();
    return window;
  }
  ViewServices Services() {
    ViewServices services{views, store.profile, prompts};
    services.own_ip = [] { return 0x7F000001u; };
    return services;
  }
  static QString Pane(const CVorn95View& view) { return view.outputPane()->toPlainText(); }
  static QByteArray Log(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  static QColor ColourAt(const CVorn95View& view, int position) {
    QTextCursor cursor(view.outputPane()->document());
    cursor.setPosition(position + 1);
    return cursor.charFormat().foreground().color();
  }

  QtUiLoop ui;
  ManualClock clock;
  ViewRegistry views;
  TempProfile store;
  ScriptedPrompts prompts;
  std::unique_ptr<CVorn95View> view = MakeMessageWindow();
};

TEST_F(TextViewTest, PaneAndLogGetTheSameLinesEachAppendInItsColour) {
  prompts.log_file = store.Path("session.log");
  view->ToggleLogging();
  view->Append("", kRed);
  EXPECT_EQ(Pane(*view), "");
  view->Append("one\ntwo\n", kRed);
  view->Append(
      "thr\x1B[2Jee\r\n\x1B]0;owned\x07"
      "four\r\n",
      kBlue);                       // escapes a peer sent are not shown or logged
  view->Append("five\nsix", kRed);  // the last piece is kept
  EXPECT_EQ(Pane(*view), "one\ntwo\nthree\nfour\nfive\nsix");
  EXPECT_EQ(Log(*prompts.log_file), "one\ntwo\nthree\nfour\nfive\nsix");  // the system's line ends
  EXPECT_EQ(view->windowTitle(), "Server Messages - logging to session.log");
  EXPECT_EQ(ColourAt(*view, 0), QColor(0xC0, 0, 0));
  EXPECT_EQ(ColourAt(*view, 8), QColor(0, 0, 0xC0));
}

TEST_F(TextViewTest, NearTheLimitTheOldestHalfGoes) {
  view->Append(std::string(16000, 'a') + std::string(16000, 'b'), kRed);
  view->Append(std::string(1000, 'n'), kBlue);
  const QString pane = Pane(*view);
  EXPECT_FALSE(pane.contains(QLatin1Char('a')));
  EXPECT_TRUE(pane.startsWith(QLatin1Char('b')));
  EXPECT_TRUE(pane.endsWith(QString(1000, QLatin1Char('n'))));
  EXPECT_LE(pane.size(), CVorn95View::kTextLimit);
  EXPECT_EQ(ColourAt(*view, static_cast<int>(pane.size()) - 1000), QColor(0, 0, 0xC0));
  // A text larger than the whole pane replaces everything, in full.
  view->Append(std::string(40000, 'z'), kRed);
  EXPECT_EQ(Pane(*view), QString(40000, QLatin1Char('z')));
}

// An existing log file: each answer once, the first append after it shows
// what became of the old text.
TEST_F(TextViewTest, ExistingLogFileAppendOverwriteOrCancel) {
  prompts.log_file = store.Path("old.log");
  const struct {
    LogFileChoice choice;
    bool logging;
    const char* log;
  } rows[] = {{LogFileChoice::Cancel, false, "old\r\n"},
              {LogFileChoice::Append, true, "old\r\nnew\n"},
              {LogFileChoice::Overwrite, true, "new\n"}};
  for (const auto& row : rows) {
    QFile file(*prompts.log_file);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("old\r\n");
    file.close();
    prompts.log_choice = row.choice;
    view->ToggleLogging();
    EXPECT_EQ(view->isLogging(), row.logging);
    view->Append("new\r\n", kRed);
    EXPECT_EQ(Log(*prompts.log_file), row.log);
    if (view->isLogging()) view->ToggleLogging();  // stops
    EXPECT_FALSE(view->isLogging());
  }
  EXPECT_EQ(prompts.log_choices_asked, 3);
}

// Black is a colour stored, not taken for an absent one.
TEST_F(TextViewTest, ABlackBackgroundIsStoredUnderTheWindowKey) {
  prompts.colour = QColor(0, 0, 0);
  CVorn95View chat(Services(), "#chat", 2);
  chat.ChooseBackgroundColor();
  CVorn95View again(Services(), "#chat", 3);
  EXPECT_EQ(again.backgroundColor(), QColor(0, 0, 0));
}

TEST_F(TextViewTest, RegistryDeliversFromWorkersAndForgetsClosedViews) {
  view.reset();
  views.Append("dropped: no window\r\n", MessageClass::Server);
  view = MakeMessageWindow();
  EXPECT_EQ(views.messageView(), view.get());
  // A worker never waits for the UI thread (which does not run here): its
  // flood is queued, bounded and summed up.
  std::thread worker([&] {
    for (int i = 0; i < 1000; ++i) views.Append(Format("Hello from 127.0.0.%d\r\n", i % 250), MessageClass::Server);
  });
  worker.join();
  clock.Advance(1000);
  views.Append("from the UI thread\r\n", MessageClass::Server);
  EXPECT_EQ(Pane(*view).count(QStringLiteral("Hello from")), 10);
  EXPECT_TRUE(Pane(*view).endsWith(QStringLiteral("990 similar lines suppressed\nfrom the UI thread\n")));

  // Text that cannot wait for the UI thread arrives later, whole.
  {
    JoiningWorkers joining(views);
    std::thread blocked([&] { views.Append("while joining\r\n", MessageClass::Server); });
    blocked.join();
  }
  EXPECT_TRUE(ProcessUntil([&] { return Pane(*view).endsWith(QStringLiteral("while joining\n")); }));

  auto chat = std::make_unique<CVorn95View>(Services(), "#games", 2);
  EXPECT_EQ(views.chatViews().size(), 1u);
  views.SetLastActive(chat.get());
  views.AppendToActiveView("query output\r\n", MessageClass::Server);
  EXPECT_EQ(Pane(*chat), "query output\n");
  // Chat text from a worker is queued as well, in order; what overflows the
  // bound is counted in the message window.
  QtChatWindows windows(ui, views);
  std::thread receiver([&] {
    for (int i = 0; i < 2; ++i) windows.PrintToChannel("#GAMES", Format("line %d\r\n", i), kRed);
    windows.PrintToChannel("#games", std::string(ChatTextQueue::kMaxBytes, 'x'), kRed);
  });
  receiver.join();
  windows.PrintToChannel("#games", "typed here\r\n", kBlue);
  EXPECT_EQ(Pane(*chat), "query output\nline 0\nline 1\ntyped here\n");
  EXPECT_TRUE(Pane(*view).endsWith(QStringLiteral("faster than the windows could take them: 1\n")));
  chat.reset();
  EXPECT_TRUE(views.chatViews().empty());
  EXPECT_EQ(views.lastActive(), nullptr);
  view.reset();
  EXPECT_EQ(views.messageView(), nullptr);
}

class ChatInputLineTest : public ::testing::Test {
 protected:
  ChatInputLineTest() {
    ChatInputServices services;
    services.send = [this](const std::string& line) { sent.push_back(line); };
    services.correspondents = [this] { return correspondents; };
    services.users = [this] { return users; };
    services.beep = [this] { ++beeps; };
    input = std::make_unique<CChatView>(std::move(services));
    input->show();
  }
  void Send(const QString& line) {
    input->setText(line);
    QTest::keyClick(input.get(), Qt::Key_Return);
    QCoreApplication::processEvents();
  }
  QString Press(Qt::Key key) {
    QTest::keyClick(input.get(), key);
    return input->text();
  }

  std::vector<std::string> sent;
  std::vector<std::string> correspondents;
  std::vector<std::string> users;
  int beeps = 0;
  std::unique_ptr<CChatView> input;
};

// Up and Down walk the history, the cursor at the end; each end beeps. The
// history keeps the last 51 lines.
TEST_F(ChatInputLineTest, ALineSentTwiceStandsOnceAndEachEndBeeps) {
  input->setText(QStringLiteral("draft"));
  EXPECT_EQ(Press(Qt::Key_Up), "draft");  // nothing to recall: the text stays
  EXPECT_EQ(beeps, 1);
  // Only the main Enter sends, and only after the key was handled; an empty
  // line sends nothing and is not remembered.
  QTest::keyClick(input.get(), Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(input.get(), Qt::Key_Return, Qt::AltModifier);
  QCoreApplication::processEvents();
  EXPECT_TRUE(sent.empty());
  input->setText(QStringLiteral("first"));
  QTest::keyClick(input.get(), Qt::Key_Return);
  EXPECT_TRUE(sent.empty());
  QCoreApplication::processEvents();
  EXPECT_TRUE(input->text().isEmpty());
  for (const char* line : {"second", "", "first"}) Send(line);
  EXPECT_EQ(sent, (std::vector<std::string>{"first", "second", "first"}));
  EXPECT_EQ(input->history().lines(), (std::vector<std::string>{"second", "first"}));
  const struct {
    Qt::Key key;
    const char* text;
    int beeps;
  } walk[] = {{Qt::Key_Down, "", 2},     {Qt::Key_Up, "first", 2},   {Qt::Key_Up, "second", 2},
              {Qt::Key_Up, "second", 3}, {Qt::Key_Down, "first", 3}, {Qt::Key_Down, "first", 4}};
  for (const auto& step : walk) {
    EXPECT_EQ(Press(step.key), step.text);
    EXPECT_EQ(input->cursorPosition(), input->text().size());
    EXPECT_EQ(beeps, step.beeps);
  }
  for (int i = 0; i < 60; ++i) Send(QStringLiteral("line %1").arg(i));
  ASSERT_EQ(input->history().lines().size(), 51u);
  EXPECT_EQ(input->history().lines().front(), "line 9");
}

TEST_F(ChatInputLineTest, TabCyclesFromTheNewestCorrespondent) {
  Press(Qt::Key_Tab);
  EXPECT_EQ(beeps, 1);
  correspondents = {"ann", "bob", "cy"};
  QStringList shown;
  for (int i = 0; i < 4; ++i) shown << Press(Qt::Key_Tab);
  EXPECT_EQ(shown, (QStringList{"/msg cy ", "/msg bob ", "/msg ann ", "/msg cy "}));
  EXPECT_EQ(input->cursorPosition(), input->text().size());
  EXPECT_EQ(beeps, 1);
  // A new chat session may have fewer correspondents.
  correspondents = {"dee"};
  EXPECT_EQ(Press(Qt::Key_Tab), "/msg dee ");

  // A name begun at the cursor comes from the users present; Tab cycles,
  // and text without a match stays as typed.
  users = {"Bob", "bea", "Zo\xC3\xAB"};
  input->setText(QStringLiteral("hi b there"));
  input->setCursorPosition(4);
  EXPECT_EQ(Press(Qt::Key_Tab), "hi bea there");
  EXPECT_EQ(input->cursorPosition(), 6);
  EXPECT_EQ(Press(Qt::Key_Tab), "hi Bob there");
  EXPECT_EQ(Press(Qt::Key_Tab), "hi bea there");
  input->setText(QStringLiteral("/msg zo"));
  EXPECT_EQ(Press(Qt::Key_Tab), QString::fromUtf8("/msg Zo\u00EB"));
  EXPECT_EQ(beeps, 1);
}

}  // namespace
}  // namespace vorn
