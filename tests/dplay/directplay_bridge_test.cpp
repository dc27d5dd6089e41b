#include "dplay/directplay_bridge.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hostile/hostile_support.h"
#include "net/messages.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "support/fake_client.h"
#include "support/inbox.h"
#include "support/scripted_dialogs.h"
#include "support/test_node.h"

namespace vorn {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kBindingLine = "VornDPlay: Binding a new socket: ";

// Each test process takes its own two addresses of 127/8 for the two
// players, so that suites running side by side do not share port 8787.
uint32_t PlayerAddress(uint8_t player) {
  const uint32_t pid = static_cast<uint32_t>(::getpid());
  return 0x7F000000u | (pid & 0xFFFFu) << 8 | player;
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::string BindingLine(uint16_t port) { return Format("%s%d.\n", kBindingLine.data(), static_cast<int>(port)); }

// A 20-byte frame (two bytes longer than the announcement) with marker at
// the probe offset.
std::vector<uint8_t> ProbeFrame(std::string_view marker) {
  std::vector<uint8_t> payload = Bytes(marker);
  payload.push_back('!');
  payload.push_back('?');
  std::vector<uint8_t> frame(kGameFrameHeaderSize + payload.size());
  BuildGameFrame(frame, GameFrame{kTypeBroadcastFrame, 7, kDirectPlaySocket, kDirectPlaySocket, payload});
  return frame;
}

// Datagrams from anyone but peer then go to other sockets of the port.
void ConnectTo(const FakeClient& client, PeerAddress peer) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(peer.ip);
  sa.sin_port = htons(peer.port);
  EXPECT_EQ(::connect(client.socket().fd(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa), 0);
}

// One player's endpoint (own address: its player address) and bridge.
struct Player {
  explicit Player(uint32_t address)
      : ip(address),
        endpoint(clock, dialogs, window, addresses, dispatcher),
        bridge(window, addresses, endpoint, dispatcher, {address}) {
    dispatcher.SetHandler(kTypeBroadcastFrame, frames.Handler());
  }
  // The bridge thread sends through the endpoint, and the endpoint's
  // receive thread calls into the bridge: the one ends before the endpoint
  // closes, the other before the bridge goes.
  ~Player() {
    bridge.StopDirectPlayBridge();
    endpoint.CloseUdpEndpoint();
  }
  bool Open() { return endpoint.OpenUdpEndpoint({0, FormatIp(ip)}) && endpoint.StartReceiveThread(); }
  PeerAddress Address() const { return addresses.local.Load(); }
  PeerAddress Listener() const { return {ip, kDirectPlayPort}; }

  uint32_t ip;
  SteadyClock clock;
  ScriptedDialogs dialogs;
  RecordingWindow window;
  SharedAddresses addresses;
  Dispatcher dispatcher;
  Inbox frames;  // what reaches the type switch
  UdpEndpoint endpoint;
  DirectPlayBridge bridge;
};

class DirectPlayBridgeTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.bound() && game.bound());
    ASSERT_TRUE(a.Open());
    a.addresses.server.Store(server.address());
    ASSERT_TRUE(a.bridge.StartDirectPlayBridge());
    ASSERT_TRUE(a.bridge.IsDirectPlayBridgeRunning());
  }

  // Every datagram sent to the bridge so far has been handled once a last
  // one has been announced to another server.
  void AwaitHandled() {
    FakeClient marker_server;
    a.addresses.server.Store(marker_server.address());
    game.Send(a.Listener(), Bytes("marker"));
    ASSERT_TRUE(marker_server.ReceiveFrom());
    a.addresses.server.Store(server.address());
  }

  const uint32_t b_ip = PlayerAddress(3);
  Player a{PlayerAddress(2)};
  FakeClient server;
  FakeClient game{0, a.ip, true};
};

// Foreign, oversized and empty datagrams are skipped; each other one is
// announced through the node's one socket and kept, the newest, to be sent
// from its game's port. Probes are answered whole; the bridge's own answer
// sends nothing.
TEST_F(DirectPlayBridgeTest, KeepsTheNewestGoodLocalDatagramAnnouncesEachAndAnswersProbes) {
  FakeClient peer(0, b_ip), stranger(0, b_ip), b_listener(kDirectPlayPort, b_ip);
  EXPECT_FALSE(a.bridge.SendKeptDatagram(peer.address()));  // nothing kept yet
  peer.Send(a.Address(), ProbeFrame("VMECH"));
  std::optional<Datagram> answer = peer.ReceiveFrom();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->bytes, ProbeFrame("vmech"));  // the whole datagram, marker replaced

  const std::vector<uint8_t> announcement = {'V',  'O',  'R',  'N',  'B',  // a broadcast frame
                                             0,    0,    0,    0,          // sequence 0
                                             0x53, 0x22, 0x53, 0x22,       // both sockets 0x5322
                                             'V',  'M',  'E',  'C',  'H'};
  stranger.Send(a.Listener(), Bytes("foreign"));
  game.Send(a.Listener(), std::vector<uint8_t>(kMaxKeptDatagram + 1, 0xAA));
  game.Send(a.Listener(), std::vector<uint8_t>{});
  game.Send(a.Listener(), Bytes("first"));
  std::optional<Datagram> sent = server.ReceiveFrom();
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->bytes, announcement);
  EXPECT_EQ(sent->from.port, a.endpoint.BoundPort());
  game.Send(a.Listener(), std::vector<uint8_t>(kMaxKeptDatagram, 0x55));
  ASSERT_TRUE(server.ReceiveFrom());
  ASSERT_TRUE(a.bridge.SendKeptDatagram(b_listener.address()));
  std::optional<Datagram> kept = b_listener.ReceiveFrom();
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->bytes, std::vector<uint8_t>(kMaxKeptDatagram, 0x55));
  EXPECT_EQ(kept->from, game.address());  // so that the answer reaches the game
  AwaitHandled();
  EXPECT_FALSE(server.ReceiveFrom(0).has_value());  // two announcements in all
  EXPECT_EQ(CountOf(a.window.Text(), kBindingLine), 1u);
  EXPECT_NE(a.window.Text().find(BindingLine(game.address().port)), std::string::npos);
  // Never to the node itself.
  EXPECT_FALSE(a.bridge.SendKeptDatagram(a.Address()));
  EXPECT_FALSE(a.bridge.SendKeptDatagram({a.ip, kDirectPlayPort}));
}

TEST_F(DirectPlayBridgeTest, StopsPromptlyEndsWhenItCannotListenAndStartsAgain) {
  game.Send(a.Listener(), Bytes("one"));
  ASSERT_TRUE(server.ReceiveFrom());

  const auto before = std::chrono::steady_clock::now();
  a.bridge.StopDirectPlayBridge();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);  // woken, not timed out
  a.bridge.StopDirectPlayBridge();                           // not running: nothing
  EXPECT_FALSE(a.bridge.IsDirectPlayBridgeRunning());
  EXPECT_EQ(CountOf(a.window.Text(), "VornDPlay: User shutdown. Normal termination.\r\n"), 1u);
  EXPECT_FALSE(a.bridge.SendKeptDatagram({b_ip, 1}));  // forgotten
  // Stopped, a probe is an ordinary frame of the type switch.
  FakeClient peer(0, b_ip);
  peer.Send(a.Address(), ProbeFrame("VMECH"));
  EXPECT_EQ(a.frames.WaitFor(1).size(), 1u);
  {
    FakeClient squatter(kDirectPlayPort, a.ip);  // exclusive: binds only because the bridge let go
    ASSERT_TRUE(squatter.bound());
    EXPECT_FALSE(a.bridge.StartDirectPlayBridge());
    EXPECT_FALSE(a.bridge.IsDirectPlayBridgeRunning());
    EXPECT_TRUE(
        a.window.Text().ends_with("VornDPlay: Cannot bind listen address.\r\nVornDPlay: Abnormal Termination.\r\n"));
  }

  ASSERT_TRUE(a.bridge.StartDirectPlayBridge());
  EXPECT_EQ(CountOf(a.window.Text(), "\r\nDirect Play support for Vorn95 (version 1.0)\r\n"), 3u);
  game.Send(a.Listener(), Bytes("two"));
  ASSERT_TRUE(server.ReceiveFrom());
  EXPECT_EQ(CountOf(a.window.Text(), BindingLine(game.address().port)), 2u);  // a new send socket
}

// The port of A's game whose kept datagram A's window says it sends from a
// port of its own.
uint16_t OwnSendingPort(const std::string& text) {
  constexpr std::string_view kSendingFrom = "sending from port ";
  const size_t at = text.rfind(kSendingFrom);
  return at == std::string::npos ? 0 : static_cast<uint16_t>(std::stoi(text.substr(at + kSendingFrom.size())));
}

// Player A's game looks for a session; B's bridge answers A's announcement,
// and A's kept datagram reaches B's port 8787 from A's game port, or, when
// that game did not share its port (most do not), from a port of A's bridge,
// which goes on running.
class DirectPlayBridgeEndToEnd : public testing::TestWithParam<bool> {};

TEST_P(DirectPlayBridgeEndToEnd, CarriesTheKeptDatagramToTheAnsweringPlayer) {
  const bool shared = GetParam();
  Player a(PlayerAddress(2));
  Player b(PlayerAddress(3));
  FakeClient relay;  // both players' server, and B's proxy
  ASSERT_TRUE(a.Open() && b.Open());
  a.addresses.server.Store(relay.address());
  b.addresses.server.Store(relay.address());
  // The players' sockets all send from 127.0.0.1; through its proxy B's
  // answer arrives named by B's own address, as it would between machines.
  b.addresses.proxy.Store(relay.address());
  ASSERT_TRUE(a.bridge.StartDirectPlayBridge() && b.bridge.StartDirectPlayBridge());

  FakeClient a_game(0, a.ip, shared);
  // B's game shares port 8787 with B's bridge and takes what A's game sends.
  FakeClient b_game(kDirectPlayPort, b.ip, true);
  ASSERT_TRUE(b_game.bound());

  a_game.Send(a.Listener(), Bytes("session?"));
  std::optional<Datagram> announcement = relay.ReceiveFrom();
  ASSERT_TRUE(announcement);
  const PeerAddress a_sender = shared ? a_game.address() : PeerAddress{a.ip, OwnSendingPort(a.window.Text())};
  ASSERT_NE(a_sender.port, 0) << a.window.Text();
  ConnectTo(b_game, a_sender);
  announcement->bytes[kTypeOffset] = kTypeGameFrame;  // relayed as a server does
  relay.Send(b.Address(), hostile::Wrapped(a.Address(), announcement->bytes));

  std::optional<Datagram> proxied = relay.ReceiveFrom();
  ASSERT_TRUE(proxied);
  std::optional<ProxyWrap> answer = ParseProxyWrap(proxied->bytes);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->address, a.Address());
  EXPECT_EQ(FindProbe(answer->inner), ProbeForm::kAnswer);
  relay.Send(a.Address(), hostile::Wrapped(b.Address(), {answer->inner.begin(), answer->inner.end()}));

  std::optional<Datagram> kept = b_game.ReceiveFrom();
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->bytes, Bytes("session?"));
  EXPECT_EQ(kept->from, a_sender);
  EXPECT_EQ(CountOf(b.window.Text(), kBindingLine), 0u);  // B's bridge kept nothing of A's
  EXPECT_TRUE(a.bridge.IsDirectPlayBridgeRunning());
  EXPECT_EQ(CountOf(a.window.Text(), "Abnormal"), 0u);
}

INSTANTIATE_TEST_SUITE_P(GameSharesItsPort, DirectPlayBridgeEndToEnd, testing::Bool());

}  // namespace
}  // namespace vorn
