#include "settings_dialogs.h"

#include <QCheckBox>
#include <QComboBox>

#include "download_folder.h"

#include "app_harness.h"

namespace vorn {
namespace {

// OK on a form that fails a check shows the message and leaves the dialog
// open; each step fills or mends one field, the last one passes. A
// nickname has 15 characters at most.
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
  EXPECT_EQ(dialogs.shown.size(), 11u);
  EXPECT_EQ(info.form().tracker, "127.0.0.2:7000");
  EXPECT_EQ(info.form().nickname, std::string(15, 'n'));
  EXPECT_EQ(advanced.result(), QDialog::Accepted);
  EXPECT_EQ(advanced.form().lossProtection, LossProtection::kAlways);
}

// The advanced button of the running identity dialog writes the network
// options through the store at once; OK then writes the identity and the
// download folder, which must be a full path.
TEST(QtUserInfoDialog, OptionsCommandRunsBothDialogsAndWrites) {
  AppHarness harness;
  ASSERT_TRUE(harness.StartAndSettle());
  const QString folder = harness.store.Path("downloads");
  OnNextDialog<UserInfoDlg>([folder](UserInfoDlg& info) {
    EXPECT_EQ(info.downloadFolder(), DefaultDownloadFolder());
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
    info.otherEdit()->setText(QStringLiteral("plays at night"));
    info.accept();
  });
  EXPECT_TRUE(harness.frame().Dispatch(CommandId::Options));
  Profile& profile = harness.store.profile;
  EXPECT_EQ(profile.GetString("Misc", "Port", ""), "2300");
  EXPECT_EQ(profile.GetInt("Misc", "Redirect Queries", 0), 1);
  EXPECT_EQ(profile.GetString("User Info", "other", ""), "plays at night");
  EXPECT_TRUE(harness.node().settings().settings().redirectQueries);
  EXPECT_EQ(profile.GetString("Misc", "Download Folder", ""), folder.toStdString());
  EXPECT_EQ(harness.dialogs.Captions(), (std::vector<std::string>{"Download Folder", "Configuration Changed!"}));
}

// docs/screenshot-options.png
TEST(UserInfoDlg, Screenshot) {
  ScriptedDialogs dialogs;
  UserInfoForm form{"Ann Example", "Ann", "ann@example.org", "plays at night", "127.0.0.2", true, true};
  UserInfoDlg dialog(form, dialogs, [](QWidget*) {}, nullptr);
  dialog.SetDownloadFolder(QStringLiteral("/home/ann/Downloads"));
  SaveScreenshot("VORN_OPTIONS_SCREENSHOT", dialog);
}

TEST(FirstRun, RefusingTheIdentityDialogEndsTheProgram) {
  AppHarness harness(/*with_identity=*/false);
  OnNextDialog<UserInfoDlg>([](UserInfoDlg& info) { info.reject(); });
  EXPECT_FALSE(harness.app->Start());
  EXPECT_EQ(harness.dialogs.shown,
            (std::vector<Shown>{
                {"Vorn Configuration Not Correct",
                 "Your Vorn information has not been entered yet!  We will do that right now..."},
                {"Exiting Vorn", "Vorn cannot run without the required information."},
            }));
  EXPECT_EQ(harness.node().endpoint().BoundPort(), 0);
  EXPECT_FALSE(harness.frame().isVisible());
}

TEST(FirstRun, FillingTheIdentityDialogContinuesStartUp) {
  AppHarness harness(/*with_identity=*/false);
  OnNextDialog<UserInfoDlg>([](UserInfoDlg& info) {
    info.nicknameEdit()->setText(QStringLiteral("Newcomer"));
    info.realNameEdit()->setText(QStringLiteral("New Comer"));
    info.emailEdit()->setText(QStringLiteral("new@example.org"));
    info.accept();
  });
  ASSERT_TRUE(harness.StartAndSettle());
  EXPECT_EQ(harness.dialogs.Captions(), std::vector<std::string>{"Vorn Configuration Not Correct"});
  EXPECT_EQ(harness.store.profile.GetString("User Info", "NickName", ""), "Newcomer");
  EXPECT_TRUE(harness.frame().isVisible());
}

}  // namespace
}  // namespace vorn
