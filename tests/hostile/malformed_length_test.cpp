// Datagrams of every type at every length below its layout, and longer than
// the largest taken: dropped before any handler acts. Short ones go to a
// node's dispatcher as exact heap buffers (ASan sees a read too far), then
// all go through real sockets to a server, which neither answers nor relays.
#include <gtest/gtest.h>

#include "connection/client_fixture.h"
#include "hostile/hostile_support.h"
#include "support/server_harness.h"

namespace vorn {
namespace {

using hostile::Capture;
using hostile::ExpectUnchanged;
using hostile::NodeState;
using hostile::Padded;
using hostile::Rows;
using hostile::Truncated;
using hostile::WellFormed;

// Each type's full layout, and its catalogue minimum, cut at every length.
std::vector<Bytes> EveryShortCut() {
  std::vector<Bytes> cuts;
  for (const auto& [type, name, minimum] : kMessageTypes) {
    const Bytes whole = WellFormed(type);
    EXPECT_GE(whole.size(), minimum) << name;
    for (size_t size = 0; size < minimum; ++size) cuts.push_back(Truncated(whole, size));
  }
  return cuts;
}

class ShortDatagrams : public ClientTest {
 protected:
  void SetUp() override {
    ClientTest::SetUp();
    if (HasFatalFailure()) return;
    client.node->chat().JoinChannel("#chat");
    Settle();
  }
  void Dispatch(const Bytes& datagram) {
    // An exact heap copy: ASan sees any read past its end.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[datagram.size() + (datagram.empty() ? 1 : 0)]);
    std::copy(datagram.begin(), datagram.end(), exact.get());
    client.node->dispatcher().DispatchDatagram(std::span<const uint8_t>(exact.get(), datagram.size()),
                                               source.address());
  }
  FakePeer source{traffic};
};

TEST_F(ShortDatagrams, EveryTypeCutBelowItsLayoutChangesNothing) {
  const NodeState before = Capture(client);
  size_t sent = 0;
  for (const Bytes& cut : EveryShortCut()) {
    Dispatch(cut);
    ++sent;
  }
  // A chat frame is a game frame long enough for the router but too short
  // for a chat header: every such cut must be dropped by the chat too.
  const Bytes chat = WellFormed(kTypeGameFrame);
  for (size_t size = kGameFrameHeaderSize; size < kChatHeaderSize; ++size) Dispatch(Truncated(chat, size));
  Settle();
  EXPECT_GT(sent, 400u);
  ExpectUnchanged(before, Capture(client));
  EXPECT_TRUE(source.Received().empty()) << "a short datagram was answered";

  // The full layouts are acted on: the test can see a handler run.
  client.node->local_server().SetServing(true);
  Dispatch(WellFormed(kTypeHello));
  Settle();
  EXPECT_EQ(client.node->local_server().table().Snapshot()[0].address, source.address());
  EXPECT_EQ(source.Received().size(), 1u);
}

class ServerUnderShortAndLongDatagrams : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(h.started);
    ASSERT_EQ(h.Greet(alice, "alice"), kTypeAccepted);
    ASSERT_EQ(h.Greet(attacker, "attacker"), kTypeAccepted);
  }
  // What each player received before the answer to its own query.
  void ExpectNothingArrived() {
    for (const FakeClient* client : {&alice, &attacker, &outsider}) {
      auto before = client->Sync(h.address());
      ASSERT_TRUE(before.has_value());
      EXPECT_TRUE(before->empty()) << before->size() << " datagrams arrived";
    }
  }
  ServerHarness h;
  FakeClient alice, attacker, outsider;
};

TEST_F(ServerUnderShortAndLongDatagrams, NeitherIsAnsweredNorRelayed) {
  const auto table_before = Rows(h.server.table().Snapshot());
  const std::string window_before = h.window.Text();
  for (const Bytes& cut : EveryShortCut()) attacker.Send(h.address(), cut);
  // One byte over the largest datagram, and far over it: the receive buffer
  // must not hand the handlers a clipped copy that looks whole.
  for (size_t size : {kMaxDatagram + 1, size_t{4096}}) {
    for (const MessageType& known : kMessageTypes) attacker.Send(h.address(), Padded(WellFormed(known.type), size));
  }
  // Near the largest UDP datagram; few of them, so the socket keeps them all.
  attacker.Send(h.address(), Padded(WellFormed(kTypeBroadcastFrame), 65000));
  outsider.Send(h.address(), Padded(WellFormed(kTypeHello), 65000));
  ExpectNothingArrived();
  EXPECT_EQ(Rows(h.server.table().Snapshot()), table_before);
  EXPECT_EQ(h.window.Text(), window_before);

  // The largest datagram that is taken is relayed whole: the test would
  // have seen a relay of the oversized ones.
  attacker.Send(h.address(), Padded(WellFormed(kTypeBroadcastFrame), kMaxDatagram));
  const Bytes relayed = alice.Receive();
  ASSERT_EQ(relayed.size(), kMaxDatagram + kWrapHeaderSize);
  EXPECT_EQ(relayed[kWrapHeaderSize + kTypeOffset], kTypeGameFrame);
}

}  // namespace
}  // namespace vorn
