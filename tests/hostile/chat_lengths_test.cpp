// Chat packets whose lengths lie, each handed over in a heap buffer of
// exactly its length, so a read past it is an ASan failure.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "chat/chat_test_support.h"
#include "hostile/hostile_support.h"

namespace vorn {
namespace {

using hostile::ChatRows;

constexpr PeerAddress kAttacker{0x7F000001, 6001};

class ChatLengths : public ::testing::Test {
 protected:
  // Hands Alice's chat the body (the datagram from offset 13) in a buffer
  // that ends where the body ends.
  void Deliver(PeerAddress from, std::span<const uint8_t> body) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[body.size() + (body.empty() ? 1 : 0)]);
    std::copy(body.begin(), body.end(), exact.get());
    trio.a.chat->OnChatPacket(from, std::span<const uint8_t>(exact.get(), body.size()));
  }
  static hostile::Bytes Body(ChatSubtype subtype, std::string_view nickname, std::span<const uint8_t> payload) {
    return hostile::ChatBody(subtype, nickname, payload);
  }
  static hostile::Bytes Text(std::string_view text) { return {text.begin(), text.end()}; }
  int IndexOf(PeerAddress address) const {
    for (int i = kLocalPeer; i <= kLastOtherPeer; ++i)
      if (trio.a.chat->Peer(i).address == address) return i;
    return -1;
  }

  ChatTrio trio;
};

TEST_F(ChatLengths, BodiesShorterThanTheHeaderLeaveNoTrace) {
  const std::vector<std::string> peers = ChatRows(*trio.a.chat);
  const size_t pending = trio.a.chat->PendingRecordCount();
  for (ChatSubtype subtype : {ChatSubtype::Text, ChatSubtype::Hello, ChatSubtype::Quit, ChatSubtype::Ack,
                              ChatSubtype::FileFragment, ChatSubtype::PingRequest}) {
    const hostile::Bytes whole = Body(subtype, "Bob", Text("12"));
    for (size_t size = 0; size < kChatBodyHeaderSize; ++size) {
      Deliver(kAttacker, std::span(whole).first(size));
      Deliver(trio.b.address, std::span(whole).first(size));  // also from a known user
    }
  }
  EXPECT_EQ(ChatRows(*trio.a.chat), peers);
  EXPECT_EQ(trio.a.chat->PendingRecordCount(), pending);
  EXPECT_TRUE(trio.network.log.empty()) << "a short body was acknowledged";
  EXPECT_EQ(trio.a.windows.Text("#chat"), "");
}

TEST_F(ChatLengths, UnterminatedNamesAndTextsAreCutAtTheirFields) {
  constexpr size_t kChannelAt = 2, kNicknameAt = kChannelAt + kChatNameField;
  // A nickname field filled to its last byte, and a text whose zero never
  // comes: the body ends where the text does.
  hostile::Bytes body = Body(ChatSubtype::Text, "", Text("no end in sight"));
  std::fill_n(body.begin() + kNicknameAt, kChatNameField, static_cast<uint8_t>('N'));
  Deliver(kAttacker, body);
  const int index = IndexOf(kAttacker);
  ASSERT_GT(index, kLocalPeer);
  EXPECT_EQ(trio.a.chat->Peer(index).nickname.view(), std::string(kChatNameMax, 'N'));
  EXPECT_NE(trio.a.windows.Text("#chat").find("no end in sight\r\n"), std::string::npos);
  // The same for the channel field.
  std::fill_n(body.begin() + kChannelAt, kChatNameField, static_cast<uint8_t>('C'));
  Deliver(kAttacker, body);
  EXPECT_EQ(trio.a.chat->Peer(index).channel.view(), std::string(kChatNameMax, 'C'));
}

TEST_F(ChatLengths, EmptyPayloadsAcknowledgeNothing) {
  // Alice has lines waiting for Bob's acknowledgement.
  trio.network.SetDropRule([&](const SentDatagram& d) { return d.to == trio.b.address; });
  trio.a.Type("are you there?");
  trio.network.Deliver();
  trio.network.SetDropRule(nullptr);
  ASSERT_GT(trio.a.chat->PendingRecordCount(), 0u);

  for (uint16_t subtype = 0; subtype <= 30; ++subtype) {
    if (subtype == static_cast<uint16_t>(ChatSubtype::Quit)) continue;  // would rightly remove Bob
    Deliver(trio.b.address, Body(static_cast<ChatSubtype>(subtype), "Bob", {}));
  }
  trio.network.Deliver();
  // A bare acknowledgement names no serial: Alice keeps waiting, and her
  // timer still sends the line again.
  trio.network.log.clear();
  trio.Tick();
  int resent = 0;
  for (const SentDatagram& d : trio.network.log) {
    resent += d.from == trio.a.address && d.to == trio.b.address && d.view().packet.subtype == ChatSubtype::Text;
  }
  EXPECT_EQ(resent, 1);
}

TEST_F(ChatLengths, PayloadsLongerThanAChatPacketAreNotEchoed) {
  // Far more than 600 bytes: a ping that asks to be echoed cannot make
  // Alice send a packet larger than the protocol allows.
  const hostile::Bytes huge(1900, '7');
  Deliver(trio.b.address, Body(ChatSubtype::PingRequest, "Bob", huge));
  trio.network.Deliver();
  EXPECT_EQ(CountSubtype(trio.network.log, ChatSubtype::PingReply), 0);
  EXPECT_EQ(CountSubtype(trio.network.log, ChatSubtype::Ack), 1);
  for (const SentDatagram& d : trio.network.log) EXPECT_LE(d.bytes.size(), kMaxChatPacket);
}

TEST_F(ChatLengths, AThousandSendersFillTheTableAndNoMore) {
  const int bob_at = IndexOf(trio.b.address);
  ASSERT_GT(bob_at, kLocalPeer);
  for (uint16_t port = 0; port < 1000; ++port) {
    Deliver({0x7F000001, static_cast<uint16_t>(20000 + port)}, Body(ChatSubtype::Hello, "many", {}));
  }
  int used = 0;
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) used += trio.a.chat->Peer(i).IsFree() ? 0 : 1;
  EXPECT_EQ(used, kLastOtherPeer + 1);
  // The users known before the flood keep their entries.
  EXPECT_EQ(trio.a.chat->Peer(bob_at).address, trio.b.address);
  EXPECT_EQ(trio.a.chat->Peer(bob_at).nickname.view(), "Bob");
  EXPECT_EQ(trio.a.chat->Peer(kRelayPeer).address, kRelayAddress);
}

}  // namespace
}  // namespace vorn
