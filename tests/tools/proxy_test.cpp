#include "proxy/proxy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>

#include "proxy/proxy_options.h"
#include "support/text_log.h"
#include "tools/tool_test_support.h"

namespace vorn {
namespace {

using namespace tooltest;
using namespace std::string_literals;

class ProxyTest : public ::testing::Test {
 protected:
  bool Open(size_t max_clients = 64) { return proxy_.Open({kLoopback, 0, 120, max_clients}); }
  PeerAddress Address() const { return proxy_.LocalAddress(); }

  // A client greets before the proxy forwards anything for it.
  void Greet(const TestPeer& client) {
    client.Send(Address(), "VORN<");
    ASSERT_TRUE(Pump(proxy_, client));
  }

  static std::vector<uint8_t> WelcomeFor(PeerAddress client) {
    std::vector<uint8_t> welcome(kAddressMessageSize);
    EXPECT_EQ(BuildAddressMessage(welcome, kTypeProxyWelcome, client), welcome.size());
    return welcome;
  }

  ManualClock clock_;
  std::ostringstream log_;
  std::ostringstream errors_;
  Proxy proxy_{clock_, log_, errors_};
};

// The welcome names the upstream address, the one the client's peers see.
TEST_F(ProxyTest, WelcomesTheWrappedAndTheBareHelloWithTheClientsUpstreamAddress) {
  ASSERT_TRUE(Open());
  TestPeer wrapping;
  TestPeer bare;
  wrapping.SendWrapped(Address(), Address(), Bytes("VORN<"));  // as a client with a proxy set sends it
  std::optional<Datagram> welcome = Pump(proxy_, wrapping);
  ASSERT_TRUE(welcome);
  uint16_t port = proxy_.UpstreamPort(wrapping.address());
  EXPECT_EQ(welcome->bytes, (std::vector<uint8_t>{'V', 'O', 'R', 'N', '>',  //
                                                  127, 0, 0, 1,             // the client's upstream address
                                                  static_cast<uint8_t>(port >> 8), static_cast<uint8_t>(port)}));
  EXPECT_EQ(welcome->from, Address());  // the client takes the sender as its proxy

  bare.Send(Address(), "VORN<");
  welcome = Pump(proxy_, bare);
  ASSERT_TRUE(welcome);
  EXPECT_EQ(welcome->bytes, WelcomeFor({kLoopback, proxy_.UpstreamPort(bare.address())}));
  // Behind a relay the client knows the proxy by the relay's address.
  TestPeer relayed;
  relayed.SendWrapped(Address(), {kLoopback, 9}, Bytes("VORN<"));
  welcome = Pump(proxy_, relayed);
  ASSERT_TRUE(welcome);
  EXPECT_EQ(welcome->bytes, WelcomeFor({kLoopback, proxy_.UpstreamPort(relayed.address())}));
  EXPECT_EQ(proxy_.ClientCount(), 3u);
}

TEST_F(ProxyTest, ForwardsFromAnUpstreamPortPerClientAndWrapsTheAnswers) {
  ASSERT_TRUE(Open());
  TestPeer alice, bob, server, stranger;
  stranger.SendWrapped(Address(), server.address(), Bytes("VORNM"));  // never greeted: not forwarded
  Greet(alice);
  Greet(bob);
  alice.SendWrapped(Address(), server.address(), Bytes("VORNQ"));
  std::optional<Datagram> from_alice = Pump(proxy_, server);
  bob.SendWrapped(Address(), server.address(), Bytes("VORNU"));
  std::optional<Datagram> from_bob = Pump(proxy_, server);
  ASSERT_TRUE(from_alice && from_bob);
  EXPECT_EQ(from_alice->bytes, Bytes("VORNQ"));
  EXPECT_EQ(from_bob->bytes, Bytes("VORNU"));
  EXPECT_EQ(from_alice->from, (PeerAddress{kLoopback, proxy_.UpstreamPort(alice.address())}));
  EXPECT_EQ(from_bob->from, (PeerAddress{kLoopback, proxy_.UpstreamPort(bob.address())}));
  EXPECT_NE(from_alice->from.port, from_bob->from.port);
  EXPECT_NE(from_alice->from.port, Address().port);

  // The answer comes back wrapped, naming the server as its sender.
  server.Send(from_alice->from, "VORNwhi\0"s);
  std::optional<Datagram> back = Pump(proxy_, alice);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->from, Address());
  std::vector<uint8_t> expected(kWrapHeaderSize + 8);
  BuildProxyWrap(expected, {server.address(), Bytes("VORNwhi\0"s)});
  EXPECT_EQ(back->bytes, expected);

  // The largest datagram a client sends passes whole, and so does the same
  // datagram coming back.
  std::vector<uint8_t> relay(kLargestClientDatagram - kWrapHeaderSize);  // a server's relay of a full frame
  ASSERT_EQ(BuildProxyWrap(relay, {{kLoopback, 2213}, std::vector<uint8_t>(kMaxDatagram, 'x')}), relay.size());
  alice.SendWrapped(Address(), server.address(), relay);
  std::optional<Datagram> big = Pump(proxy_, server);
  ASSERT_TRUE(big);
  EXPECT_EQ(big->bytes, relay);
  server.Send(from_alice->from, relay);
  back = Pump(proxy_, alice);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bytes.size(), kLargestClientDatagram);
}

TEST_F(ProxyTest, ForgetsAClientWithoutTrafficEitherWayForTheIdleTime) {
  ASSERT_TRUE(Open());
  TestPeer client, server;
  Greet(client);
  client.SendWrapped(Address(), server.address(), Bytes("VORN3"));
  std::optional<Datagram> first = Pump(proxy_, server);
  ASSERT_TRUE(first);

  clock_.Advance(100'000);
  client.SendWrapped(Address(), server.address(), Bytes("VORN3"));
  ASSERT_TRUE(Pump(proxy_, server));
  clock_.Advance(110'000);                 // 210 s since the first, 110 s since the last datagram
  server.Send(first->from, "VORN6 ping");  // a player who only listens stays known
  ASSERT_TRUE(Pump(proxy_, client));
  clock_.Advance(110'000);
  EXPECT_TRUE(proxy_.RunOnce(std::chrono::milliseconds(0)));
  EXPECT_EQ(proxy_.ClientCount(), 1u);

  clock_.Advance(10'000);
  EXPECT_TRUE(proxy_.RunOnce(std::chrono::milliseconds(0)));
  EXPECT_EQ(proxy_.ClientCount(), 0u);
  EXPECT_EQ(proxy_.UpstreamPort(client.address()), 0);
  EXPECT_NE(log_.str().find("forgotten after 120 s"), std::string::npos) << log_.str();

  // Coming back (greeting again) makes it a new client.
  Greet(client);
  client.SendWrapped(Address(), server.address(), Bytes("VORN3"));
  ASSERT_TRUE(Pump(proxy_, server));
  EXPECT_EQ(proxy_.ClientCount(), 1u);
}

// One address takes its share of the places and no more; another address
// takes the last place, and a third none.
TEST_F(ProxyTest, IgnoresClientsBeyondTheLimitAndBeyondTheShareOfOneAddress) {
  ASSERT_TRUE(Open(kMaxSlotsPerAddress + 1));
  std::vector<std::unique_ptr<TestPeer>> peers;
  for (size_t i = 0; i <= kMaxSlotsPerAddress; ++i) {
    peers.push_back(std::make_unique<TestPeer>());
    peers.back()->Send(Address(), "VORN<");
  }
  EXPECT_TRUE(proxy_.RunOnce(std::chrono::milliseconds(kWaitMs)));
  EXPECT_EQ(proxy_.ClientCount(), kMaxSlotsPerAddress);

  TestPeer last(0, 0x7F000002), beyond(0, 0x7F000003), server;
  last.Send(Address(), "VORN<");
  ASSERT_TRUE(Pump(proxy_, last));
  beyond.Send(Address(), "VORN<");
  beyond.SendWrapped(Address(), Address(), Bytes("VORN<"));
  beyond.SendWrapped(Address(), server.address(), Bytes("VORNQ"));
  last.SendWrapped(Address(), server.address(), Bytes("VORNU"));
  std::optional<Datagram> got = Pump(proxy_, server);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->bytes, Bytes("VORNU"));  // the refused client's came first and went nowhere
  EXPECT_TRUE(beyond.Quiet());
  EXPECT_EQ(proxy_.ClientCount(), kMaxSlotsPerAddress + 1);
  EXPECT_EQ(CountOf(log_.str(), "refused"), 2u) << log_.str();
}

TEST_F(ProxyTest, IgnoresJunkAndShortWraps) {
  ASSERT_TRUE(Open());
  TestPeer client, server;
  Greet(client);
  std::vector<std::vector<uint8_t>> junk = {
      Bytes(""),
      Bytes("XORN<"),
      Bytes("VORN<<"),
      Bytes("VORNQ"),
      Bytes("VORNP\x7F\0\0\x01\x08\xA5VORN"s),  // a wrap of 15 bytes
      std::vector<uint8_t>(kLargestClientDatagram + 1, 'V'),
  };
  for (const auto& datagram : junk) client.Send(Address(), datagram);
  PeerAddress to = server.address();
  client.SendWrapped(Address(), to, Bytes("HELLO"));                     // not a frame
  client.SendWrapped(Address(), {0, to.port}, Bytes("VORNQ"));           // nobody
  client.SendWrapped(Address(), {0xFFFFFFFF, to.port}, Bytes("VORNQ"));  // broadcast
  client.SendWrapped(Address(), {to.ip, 0}, Bytes("VORNQ"));
  client.SendWrapped(Address(), Address(), Bytes("VORNQ"));  // back to the proxy
  client.SendWrapped(Address(), to, Bytes("VORNM"));
  std::optional<Datagram> got = Pump(proxy_, server);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->bytes, Bytes("VORNM"));
  EXPECT_TRUE(client.Quiet());
  EXPECT_TRUE(server.Quiet());
  EXPECT_EQ(proxy_.ClientCount(), 1u);
}

// The proxy's own loop on its thread carries the players of the integration
// test APlayerBehindTheProxyConnectsAndAnswersTheHostsPings and of the chat soak.

TEST(ProxyOptions, ParsesFlagsAndRefusesMistakes) {
  std::string error;
  std::optional<ProxyOptions> options =
      ParseProxyOptions({"--port=4000", "--bind", "0.0.0.0", "--idle-seconds", "30", "--max-clients", "2"}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->config.port, 4000);
  EXPECT_EQ(options->config.bind_ip, 0u);
  EXPECT_EQ(options->config.idle_seconds, 30);
  EXPECT_EQ(options->config.max_clients, 2u);
  options = ParseProxyOptions({}, error);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->config.bind_ip, kLoopback);  // reachable from this machine only, unless asked
  ExpectRefused(ParseProxyOptions, {{"--idle-seconds", "0"},
                                    {"--max-clients", "0"},
                                    {"--port", "65536"},
                                    {"--bind", "127.0.0.1:5"},
                                    {"--port"},
                                    {"--list", "x"}});
}

}  // namespace
}  // namespace vorn
