// Answers that nobody asked for: acceptances, refusals, server lists and
// texts from anyone but the one asked change nothing.
#include <gtest/gtest.h>

#include <mutex>

#include "connection/client_fixture.h"
#include "hostile/hostile_support.h"

namespace vorn {
namespace {

using hostile::Capture;
using hostile::ExpectUnchanged;
using hostile::kClaimedAddress;
using hostile::NodeState;
using hostile::ServerListDatagram;

class StrangerAnswers : public ClientTest {
 protected:
  void Configure(MemoryProfile& profile) override {
    profile.WriteString("Misc", "Tracker", FormatPeer(tracker.address()));
  }

  FakePeer tracker{traffic};
  FakePeer stranger{traffic};
  void Forge(const Bytes& answer) {
    std::lock_guard lock(forged_mutex);
    forged_answer = answer;
  }
  // The server stays silent; the stranger answers each greeting in its place
  // (also a late greeting of the previous try, hence the lock).
  std::mutex forged_mutex;
  Bytes forged_answer;
  FakePeer server{traffic, [this](FakePeer&, std::span<const uint8_t> d, PeerAddress from) {
                    if (InnerType(d) != kTypeHello) return;
                    std::lock_guard lock(forged_mutex);
                    stranger.Send(from, forged_answer);
                  }};
};

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
  const Bytes list = ServerListDatagram("Forged         |127.0.0.77\r\n");
  stranger.Send(client.bound(), list);
  tracker.Send(client.bound(), list);  // the tracker, but nobody asked
  for (char type : {kTypeText, kTypeTextLine}) stranger.Send(client.bound(), TextDatagram(type, "forged"));
  Settle();
  ExpectUnchanged(before, Capture(client));

  // One request: one list from the tracker; a server asked: one text.
  connection().queries().RequestServerList();
  connection().queries().QueryServerPlayers("Fake", FormatPeer(server.address()));
  tracker.Send(client.bound(), list);
  tracker.Send(client.bound(), ServerListDatagram("Second         |127.0.0.78\r\n"));
  server.Send(client.bound(), TextDatagram(kTypeTextLine, "players"));
  server.Send(client.bound(), TextDatagram(kTypeTextLine, "again"));
  Settle();
  EXPECT_EQ(client.node->settings().servers().size(), before.servers.size() + 1);
  EXPECT_NE(client.window.ViewText().find("players\r\n"), std::string::npos);
  EXPECT_EQ(client.window.ViewText().find("again"), std::string::npos);
}

}  // namespace
}  // namespace vorn
