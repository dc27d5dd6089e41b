#include "net/udp_endpoint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "net/messages.h"
#include "node/null_ports.h"
#include "support/fake_client.h"
#include "support/inbox.h"
#include "support/scripted_dialogs.h"

namespace vorn {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kLoopback = 0x7F000001;

// One node's endpoint on 127.0.0.1 with an ephemeral port. Game frames of
// either type reach its inbox unless a test registers other handlers.
struct Node {
  explicit Node(OwnAddressSources sources = {})
      : endpoint(clock, dialogs, window, addresses, dispatcher, std::move(sources)) {
    dispatcher.SetHandler(kTypeGameFrame, inbox.Handler());
    dispatcher.SetHandler(kTypeBroadcastFrame, inbox.Handler());
  }
  bool Open() { return endpoint.OpenUdpEndpoint({0, "127.0.0.1"}); }
  PeerAddress Address() const { return addresses.local.Load(); }

  ManualClock clock;  // only the own address probe waits on it
  ScriptedDialogs dialogs;
  NullWindow window;
  SharedAddresses addresses;
  Dispatcher dispatcher;
  Inbox inbox;
  UdpEndpoint endpoint;  // last: its receive thread ends before the rest goes
};

std::vector<uint8_t> GameFrameOf(size_t size, char type = kTypeGameFrame, uint8_t fill = 0x11) {
  std::vector<uint8_t> payload(size - kGameFrameHeaderSize, fill);
  std::vector<uint8_t> frame(size);
  GameFrame game{type, 7, {0x45, 0x67}, {0x45, 0x67}, payload};
  EXPECT_EQ(BuildGameFrame(frame, game), size);
  return frame;
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// A configured port bound, and a busy one refused with its message: vornd's
// process tests (AHostTellsWhoComesAndGoes..., ExitsWithItsCodeAndMessage).

// The own address comes from my_ip when it parses; a my_ip that does not
// parse is refused, and without one the probe's broadcast gets three
// seconds to come back (here it never leaves).
TEST(UdpEndpoint, TakesTheOwnAddressFromMyIpOrGivesUpOnTheProbeAfterThreeSeconds) {
  Node node;
  ASSERT_TRUE(node.endpoint.OpenUdpEndpoint({0, "[10.0.0.5"}));
  EXPECT_EQ(node.Address(), (PeerAddress{0x0A000005, node.endpoint.BoundPort()}));
  EXPECT_NE(node.endpoint.BoundPort(), 0);

  Node refused;
  EXPECT_FALSE(refused.endpoint.OpenUdpEndpoint({0, "10.0.5"}));
  EXPECT_FALSE(refused.endpoint.IsOpen());
  EXPECT_EQ(refused.dialogs.shown,
            (std::vector<ScriptedDialogs::Shown>{{"Error", "Cannot resolve my_ip from VORN95.INI!"}}));

  std::vector<PeerAddress> probed;
  Node unanswered(OwnAddressSources{
      nullptr, nullptr, [&](const UdpSocket& socket, Clock& clock) {
        return ProbeOwnAddress(socket, clock, [&](const UdpSocket&, PeerAddress to, std::span<const uint8_t> data) {
          probed.push_back(to);
          EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()), "Hi");
          return static_cast<int>(data.size());
        });
      }});
  const int64_t start_s = unanswered.clock.NowSeconds();
  EXPECT_FALSE(unanswered.endpoint.OpenUdpEndpoint({0, ""}));
  EXPECT_EQ(unanswered.clock.NowSeconds(), start_s + 4);  // the first second past the limit
  EXPECT_EQ(probed, (std::vector<PeerAddress>{{0xFFFFFFFF, 2213}}));
  EXPECT_EQ(unanswered.dialogs.shown, (std::vector<ScriptedDialogs::Shown>{{"Error", "Cannot determine local ip#"}}));
  EXPECT_FALSE(unanswered.endpoint.IsOpen());
}

// What a relay sends: the wrap and frame headers, then the rest of a frame.
struct Copy {
  std::vector<uint8_t> head = {'V', 'O', 'R', 'N', 'P', 10, 0, 0, 9, 0x1F, 0x90, 'V', 'O', 'R', 'N', '0'};
  std::vector<uint8_t> body = [] {
    std::vector<uint8_t> frame = GameFrameOf(40);
    return std::vector<uint8_t>(frame.begin() + kFrameSize, frame.end());
  }();
  std::vector<uint8_t> Whole() const {
    std::vector<uint8_t> whole = head;
    whole.insert(whole.end(), body.begin(), body.end());
    return whole;
  }
};

// Everything goes wrapped to the proxy while one is set: also what is meant
// for the proxy itself, up to the largest relay, and every copy of a
// relay, the own one included.
TEST(UdpEndpoint, EveryDatagramAndEveryCopyGoesWrappedThroughTheProxy) {
  Node node;
  ASSERT_TRUE(node.Open());
  FakeClient proxy, player;
  node.addresses.proxy.Store(proxy.address());

  EXPECT_EQ(node.endpoint.SendPacket(0x0A010203, 2213, Bytes("VORN3")), 16);
  EXPECT_EQ(proxy.Receive().size(), 16u);
  EXPECT_EQ(node.endpoint.SendPacket(proxy.address(), Bytes("VORN<")), 16);
  EXPECT_EQ(proxy.Receive().size(), 16u);
  EXPECT_EQ(node.endpoint.SendPacket(proxy.address(), GameFrameOf(UdpEndpoint::kMaxSendSize)), 2070);
  EXPECT_EQ(proxy.Receive().size(), 2070u);
  EXPECT_EQ(node.endpoint.SendPacket(proxy.address(), GameFrameOf(UdpEndpoint::kMaxSendSize + 1)), -1);

  const Copy copy;
  const std::vector<PeerAddress> targets = {player.address(), node.Address()};
  EXPECT_EQ(node.endpoint.SendCopies(targets, copy.head, copy.body), 2u);
  for (PeerAddress to : targets) {
    std::array<uint8_t, 128> wrapped{};
    const size_t size = BuildProxyWrap(wrapped, ProxyWrap{to, copy.Whole()});
    EXPECT_EQ(proxy.Receive(), std::vector<uint8_t>(wrapped.begin(), wrapped.begin() + std::ptrdiff_t(size)));
  }
  EXPECT_TRUE(node.inbox.WaitFor(0).empty());

  node.addresses.proxy.Clear();
  EXPECT_EQ(node.endpoint.SendPacket(proxy.address(), Bytes("VORN3")), 5);
  EXPECT_EQ(proxy.Receive(), Bytes("VORN3"));
  node.endpoint.CloseUdpEndpoint();
  EXPECT_EQ(node.endpoint.SendCopies(targets, copy.head, copy.body), 0u);
}

// A burst that arrives before the reader runs is kept; the close ends the
// reader promptly and may be repeated; reopened, the endpoint reads again.
TEST(UdpEndpoint, KeepsAnEarlyBurstAndCloseJoinsTheReaderPromptly) {
  Node never_opened;
  never_opened.endpoint.CloseUdpEndpoint();
  EXPECT_FALSE(never_opened.endpoint.StartReceiveThread());

  Node node;
  ASSERT_TRUE(node.Open());
  FakeClient peer;
  constexpr size_t kBurst = 32;
  for (size_t i = 0; i < kBurst; ++i) peer.Send(node.Address(), GameFrameOf(1000));
  ASSERT_TRUE(node.endpoint.StartReceiveThread());
  EXPECT_EQ(node.inbox.WaitFor(kBurst).size(), kBurst);
  auto start = std::chrono::steady_clock::now();
  node.endpoint.CloseUdpEndpoint();
  // Well under the reader's 10-second wait: the wake signal ended it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(node.endpoint.IsOpen());
  EXPECT_EQ(node.endpoint.SendPacket(node.Address(), Bytes("VORN3")), -1);
  node.endpoint.CloseUdpEndpoint();

  ASSERT_TRUE(node.Open());
  ASSERT_TRUE(node.endpoint.StartReceiveThread());
  peer.Send(node.Address(), GameFrameOf(13));
  EXPECT_EQ(node.inbox.WaitFor(kBurst + 1).size(), kBurst + 1);
}

}  // namespace
}  // namespace vorn
