#include "connection/client_handlers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "connection/client_fixture.h"

namespace vorn {
namespace {

using ClientDispatchTest = ClientTest;

TEST_F(ClientDispatchTest, TextsArePrintedInTheActiveViewWithOrWithoutALineEnd) {
  FakePeer server(traffic);
  addresses().server.Store(server.address());
  server.Send(client.bound(), TextDatagram(kTypeText, "one "));
  server.Send(client.bound(), TextDatagram(kTypeTextLine, "two 100%s"));
  Settle();
  EXPECT_EQ(client.window.ViewText(), "one two 100%s\r\n");
  EXPECT_EQ(client.window.Text(), "");
}

// ---- the proxy welcome ------------------------------------------------------

class ProxyTest : public ClientTest {
 protected:
  void Configure(MemoryProfile& profile) override { profile.WriteString("Misc", "Proxy", FormatPeer(proxy.address())); }
  static constexpr PeerAddress kPublic{0x7F000001, 50000};

  FakePeer stranger{traffic};
  // The proxy answers from its answer_from-th greeting on; when
  // stranger_answers is set, the stranger answers in its place.
  std::atomic<int> answer_from = 1;
  std::atomic<bool> stranger_answers = false;
  std::atomic<int> greetings = 0;
  FakePeer proxy{traffic, [this](FakePeer& self, std::span<const uint8_t> d, PeerAddress from) {
                   if (InnerType(d) != kTypeProxyHello) return;
                   if (stranger_answers) {
                     stranger.Send(from, AddressDatagram(kTypeProxyWelcome, kPublic));
                   } else if (++greetings >= answer_from) {
                     self.Send(from, AddressDatagram(kTypeProxyWelcome, kPublic));
                   }
                 }};
};

// A welcome redirects all of the node's traffic, so one that no greeting
// waits for is dropped, whoever sends it, before the greeting and after its
// answer; the welcome to the greeting names the own address.
TEST_F(ProxyTest, OnlyTheWelcomeToTheGreetingNamesTheOwnAddress) {
  const PeerAddress before = client.node->LocalAddress();
  stranger.Send(client.bound(), AddressDatagram(kTypeProxyWelcome, kPublic));
  proxy.Send(client.bound(), AddressDatagram(kTypeProxyWelcome, kPublic));
  Settle();
  EXPECT_EQ(client.node->LocalAddress(), before);
  EXPECT_EQ(client.window.Text(), "");

  EXPECT_TRUE(connection().ConnectToProxy());
  EXPECT_EQ(
      client.window.Text(),
      "Looking for Proxy host...\r\nNote: IP number has been changed to 127.0.0.1:50000\r\nConnected to proxy.\r\n");
  EXPECT_EQ(client.node->LocalAddress(), kPublic);

  stranger.Send(client.bound(), AddressDatagram(kTypeProxyWelcome, {0x7F000001, 60000}));
  Settle();
  EXPECT_EQ(addresses().proxy.Load(), proxy.address());
  EXPECT_EQ(client.node->LocalAddress(), kPublic);
}

TEST_F(ProxyTest, ALateWelcomeIsTakenByTheDialog) {
  answer_from = 2;
  EXPECT_TRUE(connection().ConnectToProxy());
  EXPECT_EQ(client.window.Text(),
            "Looking for Proxy host...\r\nNote: IP number has been changed to 127.0.0.1:50000\r\n"
            "Connected to proxy1.\r\n");
  ASSERT_EQ(client.dialogs.progress.size(), 1u);
  EXPECT_EQ(client.dialogs.progress[0].countdowns, (std::vector<int>{10, 9}));
}

// As the protocol has it, the welcome's sender becomes the proxy, whoever it
// is, while the greeting waits.
TEST_F(ProxyTest, TheWelcomeOfTheGreetingMayComeFromAnotherAddress) {
  stranger_answers = true;
  EXPECT_TRUE(connection().ConnectToProxy());
  EXPECT_EQ(addresses().proxy.Load(), stranger.address());
}

}  // namespace
}  // namespace vorn
