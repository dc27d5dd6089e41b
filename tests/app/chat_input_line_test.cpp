// The input line of the chat windows and of the message window.
#include "chat_input_line.h"

#include <QTest>

#include "app_harness.h"

namespace vorn {
namespace {

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
  for (const char* line : {"first", "second", "first"}) Send(line);
  EXPECT_EQ(sent, (std::vector<std::string>{"first", "second", "first"}));
  EXPECT_EQ(input->history().lines(), (std::vector<std::string>{"second", "first"}));
  const struct {
    Qt::Key key;
    const char* text;
    int beeps;
  } walk[] = {{Qt::Key_Down, "", 2},        {Qt::Key_Up, "first", 2},    {Qt::Key_Up, "second", 2},
              {Qt::Key_Up, "second", 3},    {Qt::Key_Down, "first", 3},  {Qt::Key_Down, "first", 4}};
  for (const auto& step : walk) {
    EXPECT_EQ(Press(step.key), step.text);
    EXPECT_EQ(input->cursorPosition(), input->text().size());
    EXPECT_EQ(beeps, step.beeps);
  }
  // The keypad's arrows are ordinary editing keys.
  QTest::keyClick(input.get(), Qt::Key_Up, Qt::KeypadModifier);
  EXPECT_EQ(beeps, 4);

  for (int i = 0; i < 60; ++i) Send(QStringLiteral("line %1").arg(i));
  ASSERT_EQ(input->history().lines().size(), 51u);
  EXPECT_EQ(input->history().lines().front(), "line 9");
}

TEST_F(ChatInputLineTest, OnlyTheMainEnterSendsAndOnlyAfterTheKeyWasHandled) {
  QTest::keyClicks(input.get(), QStringLiteral("hello"));
  QTest::keyClick(input.get(), Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(input.get(), Qt::Key_Return, Qt::AltModifier);
  QCoreApplication::processEvents();
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(input->text(), "hello");
  QTest::keyClick(input.get(), Qt::Key_Return);
  EXPECT_TRUE(sent.empty());
  QCoreApplication::processEvents();
  EXPECT_EQ(sent, std::vector<std::string>{"hello"});
  EXPECT_TRUE(input->text().isEmpty());
  // An empty line sends nothing and is not remembered.
  Send("");
  EXPECT_EQ(sent.size(), 1u);
  EXPECT_EQ(input->history().lines().size(), 1u);
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
  input->setText(QStringLiteral("hello x"));
  EXPECT_EQ(Press(Qt::Key_Tab), "hello x");
  EXPECT_EQ(beeps, 2);
}

}  // namespace
}  // namespace vorn
