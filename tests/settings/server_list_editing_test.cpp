#include "settings/server_list_editing.h"

#include <gtest/gtest.h>

#include "platform/memory_profile.h"
#include "support/scripted_dialogs.h"

namespace vorn {
namespace {

class ServerListSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    profile.WriteString("Servers", "Home", "127.0.0.5");
    profile.WriteString("Servers", "Away", "127.0.0.6:3000");
    store.LoadServerList();
  }
  std::vector<std::string> StoredNames() {
    std::vector<std::string> names;
    for (const ProfileValue& value : profile.Enumerate("Servers").value_or(std::vector<ProfileValue>{}))
      names.push_back(value.name);
    return names;
  }

  MemoryProfile profile;
  ScriptedDialogs dialogs;
  ScriptedUserInfoDialog user_info;
  SettingsStore store{profile, dialogs, user_info};
  ServerListSession session{store};
};

// A value that only the profile holds shows whether the section was
// rewritten: only edits of the list itself do that, when the run ends. A
// query ends the run as Cancel would, so an entry added just before it is
// not lost at the next start.
TEST_F(ServerListSessionTest, OnlyAChangedListIsRewrittenWhenTheRunEnds) {
  profile.WriteString("Servers", "Elsewhere", "127.0.0.20");
  EXPECT_EQ(session.SetDefault(1), 1u);
  EXPECT_EQ(profile.GetString("Servers", "Default Server", ""), "Away");
  EXPECT_EQ(session.SetDefault(7), std::nullopt);
  EXPECT_EQ(session.default_server(), "Away");
  EXPECT_EQ(session.Edit(5, {"x", "y"}), std::nullopt);
  EXPECT_FALSE(session.Remove(2));
  session.Cancel();
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Home", "Away", "Elsewhere", "Default Server"}));

  EXPECT_EQ(session.Edit(0, {"Home2", "127.0.0.15"}), 0u);
  EXPECT_TRUE(session.Remove(1));
  EXPECT_EQ(StoredNames().front(), "Home");
  EXPECT_EQ(session.Accept("127.0.0.15"), (ServerEntry{"", "127.0.0.15"}));
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Home2", "Default Server"}));

  const size_t added = session.Add({"New", "127.0.0.7"});
  EXPECT_EQ(session.EndForQuery(added), (ServerEntry{"New", "127.0.0.7"}));
  EXPECT_EQ(StoredNames(), (std::vector<std::string>{"Home2", "New", "Default Server"}));
  EXPECT_EQ(session.EndForQuery(9), std::nullopt);
}

}  // namespace
}  // namespace vorn
