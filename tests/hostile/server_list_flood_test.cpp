// Server lists as an attacker would send them: the merged list stays bounded
// and printable, and the node changes nothing besides it.
#include <gtest/gtest.h>

#include <string>

#include "connection/client_fixture.h"
#include "connection/server_list_text.h"
#include "hostile/hostile_support.h"

namespace vorn {
namespace {

using hostile::Capture;
using hostile::ExpectUnchanged;
using hostile::NodeState;
using hostile::ServerListDatagram;

constexpr size_t kMaxListed = 256;

std::string Entry(std::string_view name, std::string_view address, std::string_view gap = "\r\n") {
  std::string field(name);
  field.resize(15, ' ');
  return field + "|" + std::string(address) + std::string(gap);
}

// Entries numbered from first on, each with its own loopback address.
std::string ManyEntries(size_t first, size_t count) {
  std::string text;
  for (size_t n = first; n < first + count; ++n) {
    text += Entry("Flood" + std::to_string(n), "127." + std::to_string(1 + n / 65536) + "." +
                                                   std::to_string(n / 256 % 256) + "." + std::to_string(n % 256));
  }
  return text;
}

bool Printable(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

// Endless and binary entries, one at a time: connection/server_list_text_test.

// The tracker itself turns hostile: it answers each request with a flood.
class ServerListFromAHostileTracker : public ClientTest {
 protected:
  void Configure(MemoryProfile& profile) override {
    profile.WriteString("Misc", "Tracker", FormatPeer(stranger.address()));
  }
  FakePeer stranger{traffic};
};

TEST_F(ServerListFromAHostileTracker, AFloodOfListsLeavesABoundedPrintableListAndNothingElseChanged) {
  NodeState before = Capture(client);
  const size_t built_in = before.servers.size();
  ASSERT_LT(built_in, kMaxListed);
  // 4,000 entries and as many binary ones, 64 a datagram, bounded in count.
  for (size_t batch = 0; batch < 63; ++batch) {
    client.node->connection().queries().RequestServerList();
    client.node->connection().queries().RequestServerList();
    stranger.Send(client.bound(), ServerListDatagram(ManyEntries(batch * 64, 64)));
    std::string binary;
    for (size_t n = 0; n < 64; ++n) binary += Entry("\x01\x02\x03\x04", "127.9.9." + std::to_string(n) + "\x1b");
    stranger.Send(client.bound(), ServerListDatagram(binary));
    Settle();  // a few at a time, so the socket's buffer never overflows
  }
  NodeState after = Capture(client);
  ASSERT_EQ(after.servers.size(), kMaxListed);
  for (const ServerEntry& entry : after.servers) {
    EXPECT_TRUE(Printable(entry.name)) << entry.name;
    EXPECT_TRUE(Printable(entry.address)) << entry.address;
  }
  // The built-in entries stay first and unchanged; a full list takes no more.
  EXPECT_TRUE(std::equal(before.servers.begin(), before.servers.end(), after.servers.begin()));
  ServerList full;
  for (const ServerEntry& entry : after.servers) full.Add(entry);
  EXPECT_EQ(MergeServerListText(Entry("Late", "127.0.0.3"), full), 0u);
  // The saved list is the merged one, no more.
  ServerList saved;
  ASSERT_EQ(LoadServerList(client.profile, saved), ServerListOrigin::Profile);
  EXPECT_EQ(saved.size(), kMaxListed);
  after.servers = before.servers;
  after.view_text = before.view_text;  // the requests' announcements
  ExpectUnchanged(before, after);
  EXPECT_EQ(stranger.Received().size(), 126u);  // the requests
}

}  // namespace
}  // namespace vorn
