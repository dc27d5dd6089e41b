// The settings dialogs: identity and network options with their field
// rules, the first run, and the colour sheet.
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QTabWidget>

#include "app_harness.h"
#include "color_sheet.h"
#include "settings_dialogs.h"
#include "text_convert.h"

namespace vorn {
namespace {

// OK on a form that fails a check shows the message and leaves the dialog
// open; each step fills or mends one field, the last one passes. A
// nickname has 15 characters at most, a port is from 1 to 65535.
TEST(SettingsDialogs, EveryFieldRuleKeepsTheDialogOpen) {
  ScriptedDialogs dialogs;
  UserInfoDlg info(UserInfoForm{}, dialogs, {}, nullptr);
  AdvancedOptionsDlg advanced(AdvancedOptionsForm{}, dialogs, nullptr);
  EXPECT_FALSE(info.advancedButton()->isEnabled());
  advanced.lossProtectionBox()->setCurrentIndex(2);
  const std::string form = "It must be in the form of 'xxx.xxx.xxx.xxx'.";
  const auto info_shown = [](const char* text) { return Shown{"Information not correct", text}; };
  const Shown ip{"IP Address Not Correct", form};
  const Shown proxy{"Proxy Address Not Correct", form};
  const Shown port{"Port Number Not Correct", "It must be in the form of 'xxxx'."};
  const struct {
    QDialog* dialog;
    QLineEdit* edit;
    QString text;
    std::optional<Shown> refusal;
  } steps[] = {
      {&info, info.nicknameEdit(), "", info_shown("You must enter your nickname!")},
      {&info, info.nicknameEdit(), "two words", info_shown("You cannot have a space in your nickname!")},
      {&info, info.nicknameEdit(), QString(16, QLatin1Char('n')), info_shown("You must enter your real name!")},
      {&info, info.realNameEdit(), "Test User", info_shown("You must enter your email address!")},
      {&info, info.trackerEdit(), "tracker", info_shown("You must enter your email address!")},
      {&info, info.emailEdit(), "t@example.org", Shown{"Tracker Address Not Correct", form}},
      {&info, info.trackerEdit(), "127.0.0.2:7000", std::nullopt},
      {&advanced, advanced.myIpEdit(), "localhost", ip},
      {&advanced, advanced.proxyEdit(), "proxy", ip},
      {&advanced, advanced.myIpEdit(), "127.0.0.1", proxy},
      {&advanced, advanced.portEdit(), "port", proxy},
      {&advanced, advanced.proxyEdit(), "127.0.0.3:3213", port},
      {&advanced, advanced.portEdit(), "65536", port},
      {&advanced, advanced.portEdit(), "2300", std::nullopt},
  };
  for (const auto& step : steps) {
    step.dialog->show();
    step.edit->setText(step.text);
    step.dialog->accept();
    EXPECT_EQ(step.dialog->isVisible(), step.refusal.has_value()) << step.text.toStdString();
    if (!step.refusal) continue;
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back(), *step.refusal) << step.text.toStdString();
  }
  EXPECT_EQ(dialogs.shown.size(), 12u);
  EXPECT_EQ(info.form().tracker, "127.0.0.2:7000");
  EXPECT_EQ(info.form().nickname, std::string(15, 'n'));
  EXPECT_EQ(advanced.result(), QDialog::Accepted);
  EXPECT_EQ(advanced.form().loss_protection, LossProtection::kAlways);
}

// Options: the advanced button of the running identity dialog writes the
// network options through the store at once; OK then writes the identity
// and the download folder, which must be a full path. Colors loads the
// colours first.
TEST(SettingsCommands, OptionsAndColorsRunTheirDialogsAndWrite) {
  AppHarness harness;
  harness.store.profile.WriteInt("Colors", "Server", 0x00010203);
  ASSERT_TRUE(harness.StartAndSettle());
  const QString folder = harness.store.Path("downloads");
  OnNextDialog<UserInfoDlg>([folder](UserInfoDlg& info) {
    info.downloadFolderEdit()->setText(QStringLiteral("relative/downloads"));
    info.accept();
    EXPECT_TRUE(info.isVisible());
    info.downloadFolderEdit()->setText(folder);
    OnNextDialog<AdvancedOptionsDlg>([](AdvancedOptionsDlg& options) {
      options.portEdit()->setText(QStringLiteral("2300"));
      options.redirectBox()->setChecked(true);
      options.accept();
    });
    info.advancedButton()->click();
    info.accept();
  });
  EXPECT_TRUE(harness.frame().Dispatch(CommandId::Options));
  Profile& profile = harness.store.profile;
  EXPECT_EQ(profile.GetString("Misc", "Port", ""), "2300");  // what the store writes: settings tests
  EXPECT_TRUE(harness.node().settings().settings().redirect_queries);
  EXPECT_EQ(profile.GetString("Misc", "Download Folder", ""), folder.toStdString());
  EXPECT_EQ(harness.dialogs.Captions(), (std::vector<std::string>{"Download Folder", "Configuration Changed!"}));

  harness.prompts.colour = QColor(0x40, 0x50, 0x60);
  OnNextDialog<ColorsSheet>([&](ColorsSheet& sheet) {
    EXPECT_EQ(sheet.systemPage()->swatch(MessageClass::Server)->color(), ColorFromRef(0x00010203));
    sheet.systemPage()->chooseButton(MessageClass::Chat)->click();
    sheet.accept();
  });
  EXPECT_TRUE(harness.frame().Dispatch(CommandId::Colors));
  EXPECT_EQ(harness.node().settings().ColorOf(MessageClass::Chat), 0x00605040u);
  EXPECT_EQ(profile.GetInt("Colors", "Chat", -1), 0x00605040);
}

// Without an identity the dialog opens first: refused, the program ends
// before it binds its port; filled in, start-up goes on with it.
TEST(FirstRun, RefusingTheIdentityDialogEndsTheProgramFillingItContinues) {
  const Shown first{"Vorn Configuration Not Correct",
                    "Your Vorn information has not been entered yet!  We will do that right now..."};
  for (bool fill : {false, true}) {
    AppHarness harness(/*with_identity=*/false);
    OnNextDialog<UserInfoDlg>([fill](UserInfoDlg& info) {
      info.nicknameEdit()->setText(QStringLiteral("Newcomer"));
      info.realNameEdit()->setText(QStringLiteral("New Comer"));
      info.emailEdit()->setText(QStringLiteral("new@example.org"));
      fill ? info.accept() : info.reject();
    });
    EXPECT_EQ(harness.StartAndSettle(), fill);
    EXPECT_EQ(harness.frame().isVisible(), fill);
    if (fill) {
      EXPECT_EQ(harness.dialogs.shown, std::vector<Shown>{first});
      EXPECT_EQ(harness.store.profile.GetString("User Info", "NickName", ""), "Newcomer");
      continue;
    }
    EXPECT_EQ(harness.dialogs.shown,
              (std::vector<Shown>{first, {"Exiting Vorn", "Vorn cannot run without the required information."}}));
    EXPECT_EQ(harness.node().endpoint().BoundPort(), 0);
  }
}

constexpr uint32_t kChat = 0x00202020;

class ColorSheetTest : public StoreTest {
 protected:
  ColorSheetTest() {
    profile.WriteInt("Colors", "Chat", static_cast<int32_t>(kChat));
    profile.WriteInt("Chat Colors", "Ann", 0x000000FF);
    profile.WriteInt("Chat Colors", "bob", 0x0000FF00);
    store.LoadColors();
  }
  std::unique_ptr<ColorsSheet> Sheet(std::string_view nickname = {}) {
    return std::make_unique<ColorsSheet>(store, nickname, dialogs, prompts, nullptr);
  }
  static QStringList Listed(const CColorsDlg& page) { return Lines(page.nicknameList()); }
  static void Select(const CColorsDlg& page, const QString& nickname) {
    page.nicknameList()->findItems(nickname, Qt::MatchExactly).front()->setSelected(true);
  }

  ScriptedPrompts prompts;
};

// From the chat list the sheet opens on the nickname page with a nickname
// that has no colour yet, in the chat colour. Colours change on OK only;
// removing needs a yes and leaves nothing selected.
TEST_F(ColorSheetTest, NicknameColoursChangeOnOkOnlyAndRemovingNeedsAYes) {
  for (bool ok : {false, true}) {
    auto sheet = Sheet("Dora");
    CColorsDlg& page = *sheet->nicknamePage();
    EXPECT_EQ(sheet->tabs()->currentIndex(), 1);
    EXPECT_EQ(page.swatch()->color(), ColorFromRef(kChat));
    Select(page, QStringLiteral("bob"));
    prompts.colour = QColor(Qt::blue);
    page.colorButton()->click();
    OnNextDialog<NicknameDialog>([](NicknameDialog& dialog) {
      dialog.nicknameEdit()->setText(QStringLiteral("Cy"));
      dialog.okButton()->click();
    });
    page.addButton()->click();
    Select(page, QStringLiteral("Ann"));
    dialogs.answer_yes = false;
    page.removeButton()->click();
    dialogs.answer_yes = true;
    page.removeButton()->click();
    EXPECT_EQ(Listed(page), (QStringList{"bob", "Cy", "Dora"}));
    EXPECT_FALSE(page.removeButton()->isEnabled());
    if (ok)
      sheet->accept();
    else
      sheet->reject();
    EXPECT_EQ(profile.GetInt("Chat Colors", "Ann", -1), ok ? -1 : 0x000000FF);
    EXPECT_EQ(profile.GetInt("Chat Colors", "bob", -1), ok ? 0x00FF0000 : 0x0000FF00);
    EXPECT_EQ(profile.GetInt("Chat Colors", "Cy", -1), ok ? static_cast<int32_t>(kChat) : -1);
  }
  EXPECT_EQ(dialogs.shown.front(), (Shown{"Delete Color", "Do you really want to remove the color setting for Ann?"}));
}

}  // namespace
}  // namespace vorn
