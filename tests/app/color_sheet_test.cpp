#include "color_sheet.h"

#include <QListWidget>
#include <QPainter>
#include <QTabWidget>

#include "app_harness.h"
#include "text_convert.h"

namespace vorn {
namespace {

constexpr uint32_t kChat = 0x00202020;

class ColorSheetTest : public StoreTest {
 protected:
  ColorSheetTest() {
    profile.WriteInt("Colors", "Chat", static_cast<int32_t>(kChat));
    profile.WriteInt("Chat Colors", "Ann", 0x000000FF);
    profile.WriteInt("Chat Colors", "bob", 0x0000FF00);
    store.LoadColors();
  }
  std::unique_ptr<CColorsSheet> Sheet(std::string_view nickname = {}) {
    return std::make_unique<CColorsSheet>(store, nickname, dialogs, prompts, nullptr);
  }
  static QStringList Listed(const CColorsDlg& page) { return Lines(page.nicknameList()); }
  static void Select(const CColorsDlg& page, const QString& nickname) {
    page.nicknameList()->findItems(nickname, Qt::MatchExactly).front()->setSelected(true);
  }

  ScriptedPrompts prompts;
};

// From the chat list the sheet opens on the nickname page with a nickname
// that has no colour yet, in the chat colour; colours change on OK only.
TEST_F(ColorSheetTest, NicknamePageFollowsTheSelectionAndOkStores) {
  auto sheet = Sheet("Dora");
  CColorsDlg& page = *sheet->nicknamePage();
  EXPECT_EQ(sheet->tabs()->currentIndex(), 1);
  EXPECT_EQ(Listed(page), (QStringList{"Ann", "bob", "Dora"}));
  EXPECT_EQ(page.swatch()->color(), ColorFromRef(kChat));
  Select(page, QStringLiteral("Ann"));
  page.colorButton()->click();  // the colour dialog cancelled
  EXPECT_EQ(page.swatch()->color(), QColor(Qt::red));
  prompts.colour = QColor(Qt::blue);
  page.colorButton()->click();
  EXPECT_EQ(page.swatch()->color(), QColor(Qt::blue));
  EXPECT_EQ(store.ChatColorFor("Ann"), 0x000000FFu);
  sheet->accept();
  EXPECT_EQ(store.ChatColorFor("Ann"), 0x00FF0000u);
  EXPECT_EQ(profile.GetInt("Chat Colors", "Ann", -1), 0x00FF0000);
  EXPECT_EQ(profile.GetInt("Chat Colors", "Dora", -1), static_cast<int32_t>(kChat));
}

// Cancel keeps every colour, also a removed nickname's; removing needs a
// yes and leaves nothing selected.
TEST_F(ColorSheetTest, CancelKeepsEveryColourAndRemoveNeedsAYes) {
  for (bool ok : {false, true}) {
    auto sheet = Sheet();
    prompts.colour = QColor(0x10, 0x20, 0x30);
    sheet->systemPage()->chooseButton(MessageClass::Server)->click();
    EXPECT_EQ(sheet->systemPage()->swatch(MessageClass::Server)->color(), QColor(0x10, 0x20, 0x30));
    CColorsDlg& page = *sheet->nicknamePage();
    Select(page, QStringLiteral("Ann"));
    dialogs.answer_yes = false;
    page.removeButton()->click();
    EXPECT_EQ(Listed(page), (QStringList{"Ann", "bob"}));
    dialogs.answer_yes = true;
    page.removeButton()->click();
    EXPECT_EQ(Listed(page), QStringList{"bob"});
    EXPECT_FALSE(page.removeButton()->isEnabled());
    if (ok) sheet->accept();
    else sheet->reject();
    EXPECT_EQ(profile.GetInt("Chat Colors", "Ann", -1), ok ? -1 : 0x000000FF);
    EXPECT_EQ(profile.GetInt("Colors", "Server", -1), ok ? 0x00302010 : -1);
  }
  EXPECT_EQ(dialogs.shown.front(), (Shown{"Delete Color", "Do you really want to remove the color setting for Ann?"}));
  EXPECT_EQ(store.ChatColors(), (ChatColorMap{{"bob", 0x0000FF00}}));
}

// The nickname dialog: OK only with a name; a listed name starts over with
// the chat colour.
TEST_F(ColorSheetTest, AddAsksForANicknameAndResetsAListedOne) {
  auto sheet = Sheet();
  CColorsDlg& page = *sheet->nicknamePage();
  bool ok_was_enabled = true;
  OnNextDialog<CNicknameDlg>([&](CNicknameDlg& dialog) {
    ok_was_enabled = dialog.okButton()->isEnabled();
    dialog.nicknameEdit()->setText(QString(20, QLatin1Char('x')));
    EXPECT_EQ(dialog.nicknameEdit()->text().size(), 16);
    dialog.nicknameEdit()->setText(QStringLiteral("Ann"));
    dialog.okButton()->click();
  });
  page.addButton()->click();
  EXPECT_FALSE(ok_was_enabled);
  EXPECT_EQ(page.SelectedNickname(), "Ann");
  EXPECT_EQ(page.swatch()->color(), ColorFromRef(kChat));

  OnNextDialog<CNicknameDlg>([](CNicknameDlg& dialog) { dialog.reject(); });
  page.addButton()->click();
  EXPECT_EQ(Listed(page), (QStringList{"Ann", "bob"}));
}

// The View menu's command loads the colours first and opens on page 0.
TEST(ColorsCommand, OpensTheSheetOverTheFrame) {
  AppHarness harness;
  harness.store.profile.WriteInt("Colors", "Server", 0x00010203);
  ASSERT_TRUE(harness.StartAndSettle());
  harness.prompts.colour = QColor(0x40, 0x50, 0x60);
  int page = -1;
  OnNextDialog<CColorsSheet>([&](CColorsSheet& sheet) {
    page = sheet.tabs()->currentIndex();
    EXPECT_EQ(sheet.systemPage()->swatch(MessageClass::Server)->color(), ColorFromRef(0x00010203));
    sheet.systemPage()->chooseButton(MessageClass::Chat)->click();
    sheet.accept();
  });
  EXPECT_TRUE(harness.frame().Dispatch(CommandId::Colors));
  EXPECT_EQ(page, 0);
  EXPECT_EQ(harness.node().settings().ColorOf(MessageClass::Chat), 0x00605040u);
  EXPECT_EQ(harness.store.profile.GetInt("Colors", "Chat", -1), 0x00605040);
}

// Not a check: with VORN_SCREENSHOT set, both pages' picture goes there.
TEST_F(ColorSheetTest, Screenshot) {
  const QString file = qEnvironmentVariable("VORN_SCREENSHOT");
  if (file.isEmpty()) GTEST_SKIP() << "VORN_SCREENSHOT not set";
  auto sheet = Sheet("Dora");
  sheet->resize(400, 260);
  sheet->show();
  sheet->tabs()->setCurrentIndex(0);
  ProcessUntil([&] { return sheet->isVisible(); });
  const QPixmap system = sheet->grab();
  sheet->tabs()->setCurrentIndex(1);
  const QPixmap nicknames = sheet->grab();
  QPixmap both(system.width() + nicknames.width() + 16, std::max(system.height(), nicknames.height()));
  both.fill(Qt::white);
  QPainter painter(&both);
  painter.drawPixmap(0, 0, system);
  painter.drawPixmap(system.width() + 16, 0, nicknames);
  painter.end();
  EXPECT_TRUE(both.save(file));
}

}  // namespace
}  // namespace vorn
