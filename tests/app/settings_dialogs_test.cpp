#include "settings_dialogs.h"

#include <QComboBox>
#include <QCheckBox>

#include "download_folder.h"

#include "app_harness.h"

namespace vorn {
namespace {

// OK on a form that fails a check shows the message and leaves the dialog
// open; the last OK of each list passes.
TEST(UserInfoDlg, EveryCheckKeepsTheDialogOpen) {
  ScriptedDialogs dialogs;
  UserInfoDlg dialog(UserInfoForm{}, dialogs, {}, nullptr);
  dialog.show();
  EXPECT_FALSE(dialog.advancedButton()->isEnabled());
  const std::vector<std::function<void()>> steps = {
      [&] {},
      [&] { dialog.nicknameEdit()->setText(QStringLiteral("two words")); },
      [&] { dialog.nicknameEdit()->setText(QStringLiteral("Tester")); },
      [&] { dialog.realNameEdit()->setText(QStringLiteral("Test User")); },
      [&] {
        dialog.emailEdit()->setText(QStringLiteral("t@example.org"));
        dialog.trackerEdit()->setText(QStringLiteral("tracker"));
      },
  };
  for (const auto& step : steps) {
    step();
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
  }
  EXPECT_EQ(dialogs.shown, (std::vector<Shown>{
                               {"Information not correct", "You must enter your nickname!"},
                               {"Information not correct", "You cannot have a space in your nickname!"},
                               {"Information not correct", "You must enter your real name!"},
                               {"Information not correct", "You must enter your email address!"},
                               {"Tracker Address Not Correct", "It must be in the form of 'xxx.xxx.xxx.xxx'."},
                           }));
  dialog.trackerEdit()->setText(QStringLiteral("127.0.0.2:7000"));
  dialog.nicknameEdit()->setText(QString(16, QLatin1Char('n')));  // a nickname has 15 at most
  dialog.accept();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.form().tracker, "127.0.0.2:7000");
  EXPECT_EQ(dialog.form().nickname, std::string(15, 'n'));
}

TEST(AdvancedOptionsDlg, EveryCheckKeepsTheDialogOpen) {
  ScriptedDialogs dialogs;
  AdvancedOptionsDlg dialog(AdvancedOptionsForm{}, dialogs, nullptr);
  dialog.show();
  dialog.myIpEdit()->setText(QStringLiteral("localhost"));
  dialog.accept();
  dialog.myIpEdit()->setText(QStringLiteral("127.0.0.1"));
  dialog.proxyEdit()->setText(QStringLiteral("proxy"));
  dialog.accept();
  dialog.proxyEdit()->setText(QStringLiteral("127.0.0.3:3213"));
  dialog.portEdit()->setText(QStringLiteral("port"));
  dialog.accept();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialogs.shown, (std::vector<Shown>{
                               {"IP Address Not Correct", "It must be in the form of 'xxx.xxx.xxx.xxx'."},
                               {"Proxy Address Not Correct", "It must be in the form of 'xxx.xxx.xxx.xxx'."},
                               {"Port Number Not Correct", "It must be in the form of 'xxxx'."},
                           }));
  dialog.portEdit()->setText(QStringLiteral("2300"));
  dialog.lossProtectionBox()->setCurrentIndex(2);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.form().lossProtection, LossProtection::kAlways);
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

// Not a check: with VORN_OPTIONS_SCREENSHOT set, a picture of the dialog
// goes there.
TEST(UserInfoDlg, Screenshot) {
  const QString file = qEnvironmentVariable("VORN_OPTIONS_SCREENSHOT");
  if (file.isEmpty()) GTEST_SKIP() << "VORN_OPTIONS_SCREENSHOT not set";
  ScriptedDialogs dialogs;
  UserInfoForm form{"Ann Example", "Ann", "ann@example.org", "plays at night", "127.0.0.2", true, true};
  UserInfoDlg dialog(form, dialogs, [](QWidget*) {}, nullptr);
  dialog.SetDownloadFolder(QStringLiteral("/home/ann/Downloads"));
  dialog.show();
  ProcessUntil([&] { return dialog.isVisible(); });
  EXPECT_TRUE(dialog.grab().save(file));
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
