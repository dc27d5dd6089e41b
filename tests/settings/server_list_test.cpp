#include "settings/server_list.h"

#include <gtest/gtest.h>

#include "platform/memory_profile.h"
#include "platform/peer_address.h"
#include "settings/built_in_servers.h"

namespace vorn {
namespace {

// A fresh install must address nothing but this machine.
TEST(BuiltInServers, AreAllOnLoopback) {
  for (const BuiltInServer& server : BuiltInServers()) {
    const uint32_t ip = ParseDottedQuad(server.address);
    EXPECT_EQ(ip >> 24, 0x7Fu) << server.address;
    EXPECT_NE(ip, 0x7F000001u) << server.address;  // the own address
  }
  EXPECT_EQ(ParseDottedQuad(kBuiltInTrackerText) >> 24, 0x7Fu);
}

TEST(ServerList, LoadSkipsWhatCannotBeAServer) {
  MemoryProfile profile;
  profile.WriteString("Servers", "B", "127.0.0.3");
  profile.WriteInt("Servers", "Number", 5);
  profile.WriteString("Servers", std::string(200, 'n'), "127.0.0.4");
  profile.WriteString("Servers", "A", "127.0.0.2");
  ServerList list;
  EXPECT_EQ(LoadServerList(profile, list), ServerListOrigin::Profile);
  EXPECT_EQ(list.entries(), (std::vector<ServerEntry>{{"B", "127.0.0.3"}, {"A", "127.0.0.2"}}));
  profile.SetBroken(true);
  EXPECT_EQ(LoadServerList(profile, list), ServerListOrigin::Unreadable);
  EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace vorn
