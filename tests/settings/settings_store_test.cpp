#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "platform/memory_profile.h"
#include "settings/built_in_servers.h"
#include "support/scripted_dialogs.h"

namespace vorn {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SeedIdentity() {
    profile.WriteString("User Info", "NickName", "ann");
    profile.WriteString("User Info", "RealName", "Ann Example");
    profile.WriteString("User Info", "email", "ann@example.invalid");
  }

  MemoryProfile profile;
  ScriptedDialogs dialogs;
  ScriptedUserInfoDialog user_info;
  SettingsStore store{profile, dialogs, user_info};
};

// A first start refused or filled in is the program's (app tests); here a
// profile that cannot keep the answers.
TEST_F(SettingsStoreTest, FirstRunGivesUpWhenTheProfileCannotKeepTheAnswers) {
  profile.SetBroken(true);
  for (int i = 0; i < 10; ++i) user_info.steps.push_back(ScriptedUserInfoDialog::Fill("ann", "Ann", "a@b"));
  EXPECT_EQ(store.LoadSettings(), SettingsStore::kRefused);
  EXPECT_EQ(user_info.opened_with.size(), static_cast<size_t>(SettingsStore::kMaxFirstRunRounds));
  EXPECT_EQ(dialogs.Captions().back(), "Exiting Vorn");
}

// Changed options ask for a restart
// (SettingsCommands.OptionsAndColorsRunTheirDialogsAndWrite); OK with nothing
// changed, or only the beep, which applies at once, does not.
TEST_F(SettingsStoreTest, OkWithNothingOrOnlyTheBeepChangedAsksForNoRestart) {
  SeedIdentity();
  ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
  user_info.steps.push_back([](UserInfoForm&) { return true; });
  user_info.steps.push_back([](UserInfoForm& form) {
    form.beep_on_private = !form.beep_on_private;
    return true;
  });
  EXPECT_TRUE(store.RunUserInfoDialog(false));
  EXPECT_TRUE(store.RunUserInfoDialog(false));
  EXPECT_TRUE(dialogs.shown.empty());
}

// A nickname is cut to its field before a character of several bytes, not
// inside it; an unusable port falls back to the default.
TEST_F(SettingsStoreTest, StoredTextsAreCutToTheirFieldsWhole) {
  SeedIdentity();
  profile.WriteString("User Info", "NickName", "abcdefghijklmn\xC3\xA9z");
  profile.WriteString("Misc", "Port", "70000");
  ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
  EXPECT_EQ(store.settings().nickname, "abcdefghijklmn");
  EXPECT_EQ(store.settings().udpPort, 2213);
}

// Without a stored list the built-in table is used (once, not written
// back); a default server set before the list was saved is listed after a
// restart, and changing it while listed must not let a save revert it.
TEST_F(SettingsStoreTest, ServerListFromBuiltInTableOrProfileWithTheDefaultListed) {
  SeedIdentity();
  ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
  ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
  EXPECT_TRUE(store.settings().server_list_from_built_in);
  EXPECT_EQ(store.servers().size(), kBuiltInServerCount);
  EXPECT_TRUE(profile.Enumerate("Servers")->empty());

  profile.WriteString("Servers", "Home", "127.0.0.1");
  ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
  EXPECT_FALSE(store.settings().server_list_from_built_in);
  EXPECT_EQ(store.servers().entries(), (std::vector<ServerEntry>{{"Home", "127.0.0.1"}}));
  store.SetDefaultServer("Home");
  store.servers().Add({"Lab", "127.0.0.3"});
  ASSERT_TRUE(store.SaveServerList());

  SettingsStore restarted(profile, dialogs, user_info);
  ASSERT_EQ(restarted.LoadSettings(), SettingsStore::kLoaded);
  EXPECT_EQ(restarted.settings().default_server, "Home");
  ASSERT_NE(restarted.FindServer("Default Server", std::nullopt), nullptr);
  EXPECT_EQ(restarted.FindServer("Default Server", std::nullopt)->address, "127.0.0.1");  // Home's address
  EXPECT_EQ(restarted.servers().size(), 3u);
  restarted.SetDefaultServer("Lab");
  ASSERT_TRUE(restarted.SaveServerList());
  EXPECT_EQ(profile.GetString("Servers", "Default Server", ""), "Lab");
  EXPECT_EQ(restarted.FindServer("Default Server", std::nullopt)->address, "127.0.0.3");
}

}  // namespace
}  // namespace vorn
