#include "connection/queries.h"

#include <gtest/gtest.h>

#include <string>

#include "connection/client_fixture.h"

namespace vorn {
namespace {

class QueriesTest : public ClientTest {
 protected:
  void Configure(MemoryProfile& profile) override {
    profile.WriteString("Misc", "Tracker", FormatPeer(tracker.address()));
  }
  Queries& queries() { return connection().queries(); }
  // The request types a peer received, in order.
  static std::string Types(const FakePeer& peer) {
    std::string types;
    for (const auto& d : peer.Received()) types += InnerType(d);
    return types;
  }

  FakePeer tracker{traffic};
  FakePeer server{traffic, Answer({{kTypeHello, Frame(kTypeAccepted)}})};
};

TEST_F(QueriesTest, ServerRequestsGoToTheServer) {
  ASSERT_TRUE(connection().ConnectToServer(EntryFor("Fake", server.address())));
  queries().RequestPlayerList();
  queries().RequestNamesList();
  queries().RequestMotd();
  queries().RequestPlayerInfo("a-very-long-nickname");
  ASSERT_TRUE(traffic.WaitSettled());

  EXPECT_EQ(Types(server), "1QUMW");
}

TEST_F(QueriesTest, TrackerRequestsGoToTheTrackerOrReportThatThereIsNone) {
  queries().RequestServerList();
  queries().UpdateServerList();
  ASSERT_TRUE(traffic.WaitSettled());
  EXPECT_EQ(Types(tracker), "q=");
  // This tracker never answers: the update says so once, after its wait.
  client.window.Clear();
  for (int i = 0; i < 2; ++i) {
    client.clock.Advance(Queries::kTrackerWaitMs);
    client.loop.RunReady();
  }
  EXPECT_EQ(client.window.ViewText(), "Error: no answer from the tracker; the server list was not updated.\r\n");

  client.window.Clear();
  addresses().tracker.Clear();
  queries().UpdateServerList();
  EXPECT_EQ(client.window.ViewText(), "Error: no tracker defined in VORN95.INI.\r\n");
}

// ---- the tracker's server list ------------------------------------------------

TEST_F(QueriesTest, ATrackersListIsMergedAndSavedOnlyWhenItAddsSomething) {
  ServerList& servers = client.node->settings().servers();
  const size_t listed = servers.size();
  ASSERT_GT(listed, 0u);
  const std::string known = servers[0].address;

  // Sent without its terminating zero: the text ends with the datagram.
  Bytes datagram = Frame(kTypeServerList);
  std::string text = Entry("Fresh One", "127.0.9.1") + Entry("Known", known) + Entry("Fresh Two", "127.0.9.2");
  datagram.insert(datagram.end(), text.begin(), text.end());
  queries().RequestServerList();
  tracker.Send(client.bound(), datagram);
  Settle();
  ASSERT_EQ(servers.size(), listed + 2);
  EXPECT_EQ(servers[listed], (ServerEntry{"Fresh One", "127.0.9.1"}));
  EXPECT_EQ(servers[listed + 1], (ServerEntry{"Fresh Two", "127.0.9.2"}));
  EXPECT_EQ(client.profile.GetString("Servers", "Fresh Two", ""), "127.0.9.2");

  // Nothing new: the stored list is left alone.
  client.profile.WriteString("Servers", "Marker", "127.0.9.99");
  queries().UpdateServerList();
  tracker.Send(client.bound(), datagram);
  Settle();
  EXPECT_EQ(servers.size(), listed + 2);
  EXPECT_EQ(client.profile.GetString("Servers", "Marker", ""), "127.0.9.99");
}

}  // namespace
}  // namespace vorn
