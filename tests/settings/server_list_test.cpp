#include "settings/server_list.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/memory_profile.h"
#include "platform/peer_address.h"
#include "settings/app_settings.h"
#include "settings/built_in_servers.h"

namespace vorn {
namespace {

TEST(BuiltInServers, AreAllOnLoopbackWithShortUniqueNames) {
  std::set<std::string_view> names;
  std::set<uint32_t> addresses;
  for (const BuiltInServer& server : BuiltInServers()) {
    EXPECT_LE(server.name.size(), 15u);
    uint32_t ip = ParseDottedQuad(server.address);
    EXPECT_EQ(ip >> 8, 0x7F0000u) << server.address;
    EXPECT_GT(ip & 0xFF, 1u) << server.address;  // never the own address 127.0.0.1
    EXPECT_EQ(FormatIp(ip), server.address);
    names.insert(server.name);
    addresses.insert(ip);
  }
  EXPECT_EQ(names.size(), kBuiltInServerCount);
  EXPECT_EQ(addresses.size(), kBuiltInServerCount);
  EXPECT_TRUE(addresses.contains(ParseDottedQuad(kBuiltInTrackerText)));
  EXPECT_EQ(ParseAddressWithPort(kBuiltInTrackerText, 6666), AppSettings::kBuiltInTracker);
}

TEST(ServerList, LoadSkipsWhatCannotBeAServerFindsAndSavesInOrder) {
  MemoryProfile profile;
  profile.WriteString("Servers", "B", "127.0.0.3");
  profile.WriteInt("Servers", "Number", 5);
  profile.WriteString("Servers", std::string(200, 'n'), "127.0.0.4");
  profile.WriteString("Servers", "A", "127.0.0.2");
  ServerList list;
  EXPECT_EQ(LoadServerList(profile, list), ServerListOrigin::Profile);
  EXPECT_EQ(list.entries(), (std::vector<ServerEntry>{{"B", "127.0.0.3"}, {"A", "127.0.0.2"}}));
  // Found by name ignoring case or by address, the first match.
  list.Add({"a", "127.0.0.3"});
  EXPECT_EQ(list.FindServer("a", std::nullopt)->address, "127.0.0.2");
  EXPECT_EQ(list.FindServer(std::nullopt, "127.0.0.3")->name, "B");
  EXPECT_EQ(list.FindServer("nobody", "127.0.0.2")->name, "A");
  EXPECT_EQ(list.FindServer(std::nullopt, std::nullopt), nullptr);
  EXPECT_EQ(list.FindServer("Gamma", "127.0.0.9"), nullptr);

  list.Remove(0);
  ASSERT_TRUE(SaveServerList(profile, list, ""));
  ServerList reread;
  LoadServerList(profile, reread);
  EXPECT_EQ(reread.entries(), list.entries());

  profile.SetBroken(true);
  EXPECT_EQ(LoadServerList(profile, reread), ServerListOrigin::Unreadable);
  EXPECT_TRUE(reread.empty());
}

}  // namespace
}  // namespace vorn
