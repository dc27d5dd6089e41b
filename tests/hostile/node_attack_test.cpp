// Datagrams from strangers to a node: answers nobody asked for, floods of
// server lists, and forged and broken "VORNP" wraps. Each is dropped, and
// the node holds what it held before.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "connection/client_fixture.h"
#include "connection/server_list_text.h"
#include "hostile/hostile_support.h"

namespace vorn {
namespace {

using namespace hostile;

// A node in chat mode, with a tracker, a proxy, a stranger, and a server
// that stays silent: the stranger answers each greeting in its place with
// what Forge set (also a late greeting of the previous try, hence the lock).
class NodeAttack : public ClientTest {
 protected:
  void Configure(MemoryProfile& profile) override {
    profile.WriteString("Misc", "Tracker", FormatPeer(tracker.address()));
  }
  void SetUp() override {
    ClientTest::SetUp();
    if (HasFatalFailure()) return;
    client.node->chat().JoinChannel("#chat");
    Settle();
  }
  void Send(FakePeer& from, const Bytes& datagram) { from.Send(client.bound(), datagram); }
  void Forge(const Bytes& answer) {
    std::lock_guard lock(forged_mutex);
    forged_answer = answer;
  }

  FakePeer tracker{traffic}, proxy{traffic}, stranger{traffic};
  std::mutex forged_mutex;
  Bytes forged_answer;
  FakePeer server{traffic, [this](FakePeer&, std::span<const uint8_t> d, PeerAddress from) {
                    if (InnerType(d) != kTypeHello) return;
                    std::lock_guard lock(forged_mutex);
                    stranger.Send(from, forged_answer);
                  }};
};

// Answers that nobody asked for: acceptances, refusals, server lists and
// texts from anyone but the one asked change nothing.
using StrangerAnswers = NodeAttack;

TEST_F(StrangerAnswers, OnlyTheGreetedServerAcceptsOrRefuses) {
  const PeerAddress own = client.node->LocalAddress();
  for (const Bytes& answer : {AddressDatagram(kTypeAccepted, kClaimedAddress), Frame(kTypeAccepted),
                              Frame(kTypeRejectedNickname), Frame(kTypeRejectedFull), Frame(kTypeRejectedVersion)}) {
    Forge(answer);
    EXPECT_FALSE(connection().ConnectToServer(EntryFor("Fake", server.address()))) << InnerType(answer);
    EXPECT_EQ(client.node->LocalAddress(), own);
    EXPECT_EQ(client.window.Text().find("Error: N"), std::string::npos);
    EXPECT_EQ(client.window.Text().find("Error: V"), std::string::npos);
    EXPECT_EQ(client.window.Text().find("Error: D"), std::string::npos);
  }
}

TEST_F(StrangerAnswers, ListsAndTextsComeOnlyFromWhomWeAsked) {
  const NodeState before = Capture(client);
  const size_t listed = client.node->settings().servers().size();
  const Bytes list = TextDatagram(kTypeServerList, "Forged         |127.0.0.77\r\n");
  stranger.Send(client.bound(), list);
  tracker.Send(client.bound(), list);  // the tracker, but nobody asked
  for (char type : {kTypeText, kTypeTextLine}) stranger.Send(client.bound(), TextDatagram(type, "forged"));
  Settle();
  ExpectUnchanged(before, Capture(client));

  // One request: one list from the tracker; a server asked: one text.
  connection().queries().RequestServerList();
  connection().queries().QueryServerPlayers("Fake", FormatPeer(server.address()));
  tracker.Send(client.bound(), list);
  tracker.Send(client.bound(), TextDatagram(kTypeServerList, "Second         |127.0.0.78\r\n"));
  server.Send(client.bound(), TextDatagram(kTypeTextLine, "players"));
  server.Send(client.bound(), TextDatagram(kTypeTextLine, "again"));
  Settle();
  EXPECT_EQ(client.node->settings().servers().size(), listed + 1);
  EXPECT_NE(client.window.ViewText().find("players\r\n"), std::string::npos);
  EXPECT_EQ(client.window.ViewText().find("again"), std::string::npos);
}

// Server lists as an attacker would send them: the merged list stays bounded
// and printable, and the node changes nothing besides it.
constexpr size_t kMaxListed = 256;

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
using ServerListFromAHostileTracker = NodeAttack;

TEST_F(ServerListFromAHostileTracker, AFloodOfListsLeavesABoundedPrintableListAndNothingElseChanged) {
  NodeState before = Capture(client);
  const std::vector<ServerEntry> built_in = client.node->settings().servers().entries();
  ASSERT_LT(built_in.size(), kMaxListed);
  // 4,000 entries and as many binary ones, 64 a datagram, bounded in count.
  for (size_t batch = 0; batch < 63; ++batch) {
    client.node->connection().queries().RequestServerList();
    client.node->connection().queries().RequestServerList();
    tracker.Send(client.bound(), TextDatagram(kTypeServerList, ManyEntries(batch * 64, 64)));
    std::string binary;
    for (size_t n = 0; n < 64; ++n) binary += Entry("\x01\x02\x03\x04", "127.9.9." + std::to_string(n) + "\x1b");
    tracker.Send(client.bound(), TextDatagram(kTypeServerList, binary));
    Settle();  // a few at a time, so the socket's buffer never overflows
  }
  const ServerList& merged = client.node->settings().servers();
  ASSERT_EQ(merged.size(), kMaxListed);
  for (const ServerEntry& entry : merged.entries()) {
    EXPECT_TRUE(Printable(entry.name)) << entry.name;
    EXPECT_TRUE(Printable(entry.address)) << entry.address;
  }
  // The built-in entries stay first and unchanged.
  EXPECT_TRUE(std::equal(built_in.begin(), built_in.end(), merged.entries().begin()));
  // The saved list is the merged one, no more.
  ServerList saved;
  ASSERT_EQ(LoadServerList(client.profile, saved), ServerListOrigin::Profile);
  EXPECT_EQ(saved.size(), kMaxListed);
  NodeState after = Capture(client);
  after["server list"] = before["server list"];
  after["query view"] = before["query view"];  // the requests' announcements
  ExpectUnchanged(before, after);
}

// A "VORNP" wrap names the sender inside it: wraps from a stranger, nested too
// deep, or broken must be dropped and leave the node as it was.
constexpr PeerAddress kOtherClaimed{0x7F00000A, 4445};

// Everything the attacker can make a node do: answer the server's ping,
// admit a player, merge a server list, learn a chat user, print a text.
std::vector<Bytes> Payloads() {
  return {PingRequestDatagram(99), WellFormed(kTypeHello),
          TextDatagram(kTypeServerList, "Forged         |127.0.0.77\r\n"),
          ChatFrame(kTypeGameFrame, ChatSubtype::Text, "forger", "trust me"), TextDatagram(kTypeTextLine, "forged")};
}

// The node is connected to the server.
class SpoofedWraps : public NodeAttack {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    if (HasFatalFailure()) return;
    addresses().server.Store(server.address());  // before the chat greets it
    client.node->chat().JoinChannel("#chat");
    Settle();
  }
  size_t PingRepliesAtServer() const { return server.ReceivedOfType(kTypePingReply).size(); }
};

TEST_F(SpoofedWraps, AStrangerCannotSpeakForTheServerOrAnyoneElse) {
  const NodeState before = Capture(client);
  for (const Bytes& payload : Payloads()) {
    Send(stranger, Wrapped(server.address(), payload));  // posing as the server
    Send(stranger, Wrapped(kClaimedAddress, payload));   // posing as a player
    Send(stranger, Wrapped(client.bound(), payload));    // posing as the node itself
    Send(stranger, Wrapped(server.address(), Wrapped(kClaimedAddress, payload)));
  }
  Settle();
  ExpectUnchanged(before, Capture(client));
  EXPECT_EQ(PingRepliesAtServer(), 0u);
  EXPECT_TRUE(stranger.Received().empty());

  // The same wraps from the server itself are relays and are believed.
  Send(server, Wrapped(kClaimedAddress, ChatFrame(kTypeGameFrame, ChatSubtype::Text, "relayed", "hello")));
  Send(server, PingRequestDatagram(7));
  Settle();
  EXPECT_EQ(PingRepliesAtServer(), 1u);
  EXPECT_EQ(client.node->chat().Peer(1).address, kClaimedAddress);
  EXPECT_EQ(client.node->chat().Peer(1).nickname.view(), "relayed");
}

TEST_F(SpoofedWraps, TrustedSendersCannotNestDeeperThanARelayThroughTheProxy) {
  addresses().proxy.Store(proxy.address());
  const NodeState before = Capture(client);
  const size_t server_before = server.Received().size();
  for (const Bytes& payload : Payloads()) {
    // Only the proxy's wrap of the server's relay is unwrapped twice.
    Send(server, Wrapped(kClaimedAddress, Wrapped(kOtherClaimed, payload)));
    Send(proxy, Wrapped(kClaimedAddress, Wrapped(kOtherClaimed, payload)));
    Send(proxy, Wrapped(server.address(), Wrapped(server.address(), Wrapped(kClaimedAddress, payload))));
  }
  // Wraps too short to hold a frame, and wraps of something that is no frame.
  const Bytes ping = Wrapped(server.address(), PingRequestDatagram(5));
  for (size_t size = 0; size < kMinWrapSize; ++size) Send(proxy, hostile::Truncated(ping, size));
  Bytes foreign = ping;
  foreign[kWrapHeaderSize] = 'X';
  Send(proxy, foreign);
  Send(proxy, Wrapped(server.address(), Bytes{'V', 'O', 'R', 'N'}));
  Settle();
  ExpectUnchanged(before, Capture(client));
  EXPECT_TRUE(proxy.Received().empty());
  EXPECT_EQ(server.Received().size(), server_before);  // the node's own chat greeting went there

  // The one nesting that a relay behind a proxy needs still works.
  Send(proxy, Wrapped(server.address(),
                      Wrapped(kClaimedAddress, ChatFrame(kTypeGameFrame, ChatSubtype::Text, "behindproxy", "hi"))));
  Settle();
  EXPECT_EQ(client.node->chat().Peer(1).address, kClaimedAddress);
  EXPECT_EQ(client.node->chat().Peer(1).nickname.view(), "behindproxy");
}

}  // namespace
}  // namespace vorn
