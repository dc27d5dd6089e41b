#include "connection/connection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "connection/client_fixture.h"

namespace vorn {
namespace {

using ConnectionTest = ClientTest;

std::vector<int> FullCountdown() { return {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}; }

// Silence, and a stray code that ends neither a greeting nor a bye (a late
// acknowledgement of an earlier bye): neither may stop the repetitions, as
// nobody may be there to press Cancel.
TEST_F(ConnectionTest, ASilentServerGetsTwelveHellosAndACountdownToZero) {
  FakePeer silent(traffic);
  FakePeer stray(traffic, Answer({{kTypeHello, Frame(kTypeByeAcknowledged)}}));
  for (FakePeer* server : {&silent, &stray}) {
    SCOPED_TRACE(server == &silent ? "silent" : "stray answer");
    client.window.Clear();
    client.dialogs.progress.clear();
    const int32_t start = client.clock.NowMs();
    EXPECT_FALSE(connection().ConnectToServer(EntryFor("Fake", server->address())));
    ASSERT_TRUE(traffic.WaitSettled());

    EXPECT_EQ(server->ReceivedOfType(kTypeHello).size(), 12u);
    EXPECT_EQ(client.window.Text(), "Looking for server...Error: no response from server\r\n");
    ASSERT_EQ(client.dialogs.progress.size(), 1u);
    const ProgressRecord& dialog = client.dialogs.progress[0];
    EXPECT_FALSE(dialog.close_label);
    EXPECT_EQ(dialog.countdowns, FullCountdown());
    EXPECT_EQ(client.clock.NowMs() - start, 12'000);  // the failure, 12 s after the first hello
    EXPECT_FALSE(connection().IsConnected());
    EXPECT_EQ(client.loop.ActiveTimerCount(), 0u);
  }
}

TEST_F(ConnectionTest, AnAcceptanceWhileSayingByeDoesNotReconnect) {
  FakePeer server(traffic, Answer({{kTypeHello, Frame(kTypeAccepted)}, {kTypeBye, Frame(kTypeAccepted)}}));
  ASSERT_TRUE(connection().ConnectToServer(EntryFor("Fake", server.address())));
  client.window.Clear();

  EXPECT_TRUE(connection().DisconnectFromServer());
  ASSERT_TRUE(traffic.WaitSettled());
  EXPECT_FALSE(connection().IsConnected());
  EXPECT_EQ(server.ReceivedOfType(kTypeBye).size(), 12u);
  EXPECT_EQ(client.window.Text(), "Saying bye...Error: no response from server\r\n");
  ASSERT_EQ(client.dialogs.progress.size(), 1u);
  EXPECT_TRUE(client.dialogs.progress[0].close_label);
  EXPECT_EQ(client.dialogs.progress[0].countdowns, FullCountdown());
}

TEST_F(ConnectionTest, AnAcceptanceAfterTheFirstSecondConnectsThroughTheDialog) {
  std::atomic<int> hellos = 0;
  FakePeer server(traffic, [&](FakePeer& self, std::span<const uint8_t> d, PeerAddress from) {
    if (InnerType(d) == kTypeHello && ++hellos == 2) self.Send(from, Frame(kTypeAccepted));
  });
  EXPECT_TRUE(connection().ConnectToServer(EntryFor("Fake", server.address())));
  EXPECT_EQ(client.window.Text(), "Looking for server...Connected to server.\r\n");
  ASSERT_EQ(client.dialogs.progress.size(), 1u);
  EXPECT_EQ(client.dialogs.progress[0].countdowns, (std::vector<int>{10, 9}));
  EXPECT_EQ(client.loop.ActiveTimerCount(), 0u);
}

// An early rejection waits for the dialog's first tick, which reports it.
TEST_F(ConnectionTest, ARejectionIsReportedByTheFirstTickAndLeavesTheClientDisconnected) {
  const std::pair<char, std::string_view> rejections[] = {
      {kTypeRejectedNickname, "Error: Nick collision.  Use a different nickname.\r\n"},
      {kTypeRejectedFull, "Error: Virtual Sub-Net is full. Cannot connect.\r\n"},
      {kTypeRejectedVersion, "Error: Different versions detected. You must use the same version of Vorn.\r\n"}};
  for (const auto& [type, text] : rejections) {
    FakePeer server(traffic, Answer({{kTypeHello, Frame(type)}}));
    client.window.Clear();
    client.dialogs.progress.clear();
    const int32_t start = client.clock.NowMs();
    EXPECT_FALSE(connection().ConnectToServer(EntryFor("Fake", server.address())));
    ASSERT_TRUE(traffic.WaitSettled());
    EXPECT_EQ(client.window.Text(), "Looking for server...\r\n\r\n" + std::string(text));
    ASSERT_EQ(client.dialogs.progress.size(), 1u);
    EXPECT_EQ(client.dialogs.progress[0].ticks, 1);
    EXPECT_EQ(client.clock.NowMs() - start, 1'500);
    EXPECT_EQ(server.ReceivedOfType(kTypeHello).size(), 1u);
    EXPECT_FALSE(connection().IsConnected());
  }
}

TEST_F(ConnectionTest, CancelEndsTheGreetingDisconnected) {
  FakePeer server(traffic);
  client.dialogs.cancel_at_tick = 3;
  EXPECT_FALSE(connection().ConnectToServer(EntryFor("Fake", server.address())));
  ASSERT_TRUE(traffic.WaitSettled());
  EXPECT_EQ(client.window.Text(), "Looking for server...");
  EXPECT_EQ(client.window.ViewText(), "User canceled operation!\r\n");
  ASSERT_EQ(client.dialogs.progress.size(), 1u);
  EXPECT_TRUE(client.dialogs.progress[0].cancelled);
  EXPECT_EQ(client.dialogs.progress[0].ticks, 3);
  EXPECT_FALSE(connection().IsConnected());
  EXPECT_EQ(client.loop.ActiveTimerCount(), 0u);
}

// Connecting elsewhere says bye first and leaves chat mode. An 11-byte
// acceptance naming another address is adopted, noted and restarts the
// driver link; a 5-byte one changes nothing.
TEST_F(ConnectionTest, ConnectingToAnotherServerSaysByeFirstAndAdoptsTheAddressItNames) {
  const PeerAddress before = client.node->LocalAddress();
  const PeerAddress seen{0x7F000001, 40000};
  std::string calls;
  ConnectionHooks hooks;
  hooks.leave_chat_mode = [&] { calls += "leave "; };
  hooks.close_driver_link = [&] { calls += "close "; };
  hooks.open_driver_link = [&] { calls += "open "; };
  connection().SetHooks(hooks);
  FakePeer bare(traffic, Answer({{kTypeHello, Frame(kTypeAccepted)}, {kTypeBye, Frame(kTypeByeAcknowledged)}}));
  FakePeer full(traffic, Answer({{kTypeHello, AddressDatagram(kTypeAccepted, seen)}}));

  ASSERT_TRUE(connection().ConnectToServer(EntryFor("Bare", bare.address())));
  EXPECT_EQ(client.node->LocalAddress(), before);
  EXPECT_EQ(calls, "");
  ASSERT_TRUE(connection().ConnectToServer(EntryFor("Full", full.address())));
  ASSERT_TRUE(traffic.WaitSettled());
  EXPECT_EQ(client.window.Text(),
            "Looking for server...Connected to server.\r\nSaying bye...Disconnected from server.\r\n"
            "Looking for server...Connected to server.\r\n\r\nNote: IP number has been changed to 127.0.0.1:40000\r\n");
  EXPECT_EQ(bare.ReceivedOfType(kTypeBye).size(), 1u);
  EXPECT_EQ(full.ReceivedOfType(kTypeHello).size(), 1u);
  EXPECT_EQ(addresses().server.Load(), full.address());
  EXPECT_EQ(client.node->LocalAddress(), seen);
  EXPECT_EQ(calls, "leave close open ");
  connection().SetHooks({});  // calls ends here, before the node says bye
}

// An address that does not parse names nobody: the greeting goes nowhere and
// fails, and a port of 0 in it must not pass for the cleared server address.
TEST_F(ConnectionTest, AnAddressThatDoesNotParseNeverCountsAsConnected) {
  EXPECT_FALSE(connection().ConnectToServer({"Bad", "nowhere:0"}));
  EXPECT_EQ(client.window.Text(), "Looking for server...Error: no response from server\r\n");
  EXPECT_FALSE(connection().IsConnected());
}

}  // namespace
}  // namespace vorn
