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

TEST_F(SettingsStoreTest, OptionsDialogLaterPicksUpAdvancedChangesAndAsksForRestart) {
  SeedIdentity();
  ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
  user_info.steps.push_back([&](UserInfoForm& form) {
    EXPECT_TRUE(store.ApplyAdvancedOptions({"127.0.0.1", "", "3000", false, true, LossProtection::kOff}));
    form.nickname = "bob";
    form.tracker = "127.0.0.9:7000";
    return true;
  });
  EXPECT_TRUE(store.RunUserInfoDialog(false));
  EXPECT_EQ(dialogs.shown.back(),
            (ScriptedDialogs::Shown{"Configuration Changed!",
                                    "You must restart Vorn for all of these changes to take effect!"}));
  EXPECT_EQ(store.settings().nickname, "bob");
  EXPECT_EQ(store.settings().udpPort, 3000);
  EXPECT_EQ(store.settings().my_ip, "127.0.0.1");
  EXPECT_TRUE(store.settings().redirect_queries);
  EXPECT_FALSE(store.settings().fast_join2);
  EXPECT_EQ(store.settings().loss_protection, LossProtection::kOff);
  EXPECT_EQ(profile.GetInt("Misc", "Loss Protection", -1), 0);
  EXPECT_EQ(profile.GetString("Misc", "Tracker", ""), "127.0.0.9:7000");
  // The tracker takes effect at the next start only.
  EXPECT_EQ(store.settings().tracker, AppSettings::kBuiltInTracker);
  // OK with nothing changed, or only the beep, which applies at once: no
  // restart to ask for.
  const size_t shown = dialogs.shown.size();
  user_info.steps.push_back([](UserInfoForm&) { return true; });
  user_info.steps.push_back([](UserInfoForm& form) {
    form.beep_on_private = !form.beep_on_private;
    return true;
  });
  EXPECT_TRUE(store.RunUserInfoDialog(false));
  EXPECT_TRUE(store.RunUserInfoDialog(false));
  EXPECT_EQ(dialogs.shown.size(), shown);
}

// How an address text splits is ParseAddressWithPort's (platform tests);
// here each setting's own default port, an unusable port, and texts cut.
TEST_F(SettingsStoreTest, StoredValuesGetTheirDefaultsAndAreCutToTheirFields) {
  SeedIdentity();
  profile.WriteString("Misc", "Tracker", "10.0.0.1");
  profile.WriteString("Misc", "Proxy", "10.0.0.2");
  profile.WriteString("User Info", "NickName", "abcdefghijklmn\xC3\xA9z");  // cut before the "é"
  profile.WriteString("Misc", "my_ip", "127.000.000.001.extra");
  ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
  EXPECT_EQ(store.settings().tracker, (PeerAddress{0x0A000001, 6666}));
  EXPECT_EQ(store.settings().proxy, (PeerAddress{0x0A000002, 3213}));
  EXPECT_EQ(store.settings().nickname, "abcdefghijklmn");
  EXPECT_EQ(store.settings().my_ip, "127.000.000.001");
  for (const char* text : {"abc", "0", "-5", "70000"}) {
    profile.WriteString("Misc", "Port", text);
    ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
    EXPECT_EQ(store.settings().udpPort, 2213) << text;
  }
  profile.WriteString("Misc", "Port", " 2300");
  ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
  EXPECT_EQ(store.settings().udpPort, 2300);
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

// Deleting and replacing nickname colours is the colour sheet's (app tests).
TEST_F(SettingsStoreTest, ColoursLoadOnceAndSaveOnlyOnceLoaded) {
  store.SaveColors();
  EXPECT_TRUE(profile.Enumerate("Colors")->empty());

  profile.WriteInt("Colors", "Server", 0x112233);
  profile.WriteInt("Chat Colors", "Ann", 0x0000FF);
  profile.WriteString("Chat Colors", "Text", "not a colour");
  store.LoadColors();
  profile.WriteInt("Colors", "Server", 0x445566);
  store.LoadColors();
  EXPECT_EQ(store.ColorOf(MessageClass::Server), 0x112233u);
  EXPECT_EQ(store.ChatColors(), (ChatColorMap{{"Ann", 0x0000FF}}));
  EXPECT_EQ(store.ChatColorFor("Ann"), 0x0000FFu);
  EXPECT_EQ(store.ChatColorFor("ann"), store.settings().chat_color);  // exact case

  store.SetMessageColor(MessageClass::Chat, 0x00ABCDEF);
  store.SetChatColor("Bob", 0x00FF00);
  store.SaveColors();
  EXPECT_EQ(profile.GetInt("Colors", "Chat", 0), 0x00ABCDEF);
  EXPECT_EQ(profile.GetInt("Chat Colors", "Bob", 0), 0x00FF00);
}

TEST_F(SettingsStoreTest, UserGamesRoundTripAndClearedSlotsStayEmpty) {
  SeedIdentity();
  profile.WriteString("User Game 1", "Title", "No program");
  ASSERT_EQ(store.LoadSettings(), SettingsStore::kLoaded);
  EXPECT_FALSE(store.userGame(1)->IsConfigured());
  EXPECT_EQ(store.userGame(0), nullptr);
  EXPECT_EQ(store.userGame(6), nullptr);

  UserGame game{"Duel", "/games/duel", "-net", "/games", "duel.ico"};
  EXPECT_TRUE(store.SetUserGame(2, game));
  EXPECT_TRUE(store.SaveUserGame(2));
  EXPECT_FALSE(store.SetUserGame(2, game));  // unchanged: nothing to save

  SettingsStore restarted(profile, dialogs, user_info);
  ASSERT_EQ(restarted.LoadSettings(), SettingsStore::kLoaded);
  EXPECT_TRUE(restarted.userGame(2)->SameFields(game));
  EXPECT_FALSE(restarted.userGame(2)->dirty);

  EXPECT_TRUE(restarted.SetUserGame(2, UserGame{}));
  EXPECT_TRUE(restarted.SaveUserGame(2));
  EXPECT_EQ(profile.GetString("User Game 2", "Program", "gone"), "gone");
  ASSERT_EQ(restarted.LoadSettings(), SettingsStore::kLoaded);
  EXPECT_FALSE(restarted.userGame(2)->IsConfigured());
}

}  // namespace
}  // namespace vorn
