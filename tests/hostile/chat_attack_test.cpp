// Chat packets under attack, each handed over in a heap buffer of exactly
// its length, so that a read past it is an ASan failure: lengths that lie,
// and file transfers fed lying fragments, fragments, refusals and
// acknowledgements from users not asked, and requests for slots that do not
// exist. The download stays as it was and the real file still arrives whole.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "chat/chat_test_support.h"
#include "hostile/hostile_support.h"

namespace vorn {
namespace {

using hostile::Bytes;

constexpr PeerAddress kStranger{0x7F000001, 6002};

Bytes Text(std::string_view text) { return {text.begin(), text.end()}; }

class ChatAttack : public ::testing::Test {
 protected:
  // Hands `to` the body (the datagram from offset 13) in a buffer that ends
  // where the body ends.
  static void DeliverBody(ChatNode& to, PeerAddress from, std::span<const uint8_t> body) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[body.size() + (body.empty() ? 1 : 0)]);
    std::copy(body.begin(), body.end(), exact.get());
    to.chat->OnChatPacket(from, std::span<const uint8_t>(exact.get(), body.size()));
  }
  void Deliver(ChatNode& to, PeerAddress from, std::string_view nickname, ChatSubtype subtype,
               std::span<const uint8_t> payload) {
    DeliverBody(to, from, hostile::ChatBody(subtype, nickname, payload, ++serial_));
  }
  int IndexOf(PeerAddress address) const {
    for (int i = kLocalPeer; i <= kLastOtherPeer; ++i)
      if (trio.a.chat->Peer(i).address == address) return i;
    return -1;
  }

  TempDir dir;
  ChatTrio trio{dir.path()};
  uint32_t serial_ = 50000;
};

using ChatLengths = ChatAttack;

TEST_F(ChatLengths, BodiesShorterThanTheHeaderLeaveNoTrace) {
  const std::vector<std::string> peers = hostile::ChatRows(*trio.a.chat);
  const size_t pending = trio.a.chat->PendingRecordCount();
  for (ChatSubtype subtype : {ChatSubtype::Text, ChatSubtype::Hello, ChatSubtype::Quit, ChatSubtype::Ack,
                              ChatSubtype::FileFragment, ChatSubtype::PingRequest}) {
    const Bytes whole = hostile::ChatBody(subtype, "Bob", Text("12"));
    for (size_t size = 0; size < kChatBodyHeaderSize; ++size) {
      DeliverBody(trio.a, kStranger, std::span(whole).first(size));
      DeliverBody(trio.a, trio.b.address, std::span(whole).first(size));  // also from a known user
    }
  }
  EXPECT_EQ(hostile::ChatRows(*trio.a.chat), peers);
  EXPECT_EQ(trio.a.chat->PendingRecordCount(), pending);
  EXPECT_TRUE(trio.network.log.empty()) << "a short body was acknowledged";
  EXPECT_EQ(trio.a.windows.Text("#chat"), "");
}

TEST_F(ChatLengths, UnterminatedNamesAndTextsAreCutAtTheirFields) {
  constexpr size_t kChannelAt = 2, kNicknameAt = kChannelAt + kChatNameField;
  // A nickname field filled to its last byte, and a text whose zero never
  // comes: the body ends where the text does.
  Bytes body = hostile::ChatBody(ChatSubtype::Text, "", Text("no end in sight"));
  std::fill_n(body.begin() + kNicknameAt, kChatNameField, static_cast<uint8_t>('N'));
  DeliverBody(trio.a, kStranger, body);
  const int index = IndexOf(kStranger);
  ASSERT_GT(index, kLocalPeer);
  EXPECT_EQ(trio.a.chat->Peer(index).nickname.view(), std::string(kChatNameMax, 'N'));
  EXPECT_NE(trio.a.windows.Text("#chat").find("no end in sight\r\n"), std::string::npos);
  // The same for the channel field.
  std::fill_n(body.begin() + kChannelAt, kChatNameField, static_cast<uint8_t>('C'));
  DeliverBody(trio.a, kStranger, body);
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
    DeliverBody(trio.a, trio.b.address, hostile::ChatBody(static_cast<ChatSubtype>(subtype), "Bob", {}));
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
  DeliverBody(trio.a, trio.b.address, hostile::ChatBody(ChatSubtype::PingRequest, "Bob", Bytes(1900, '7')));
  trio.network.Deliver();
  EXPECT_EQ(CountSubtype(trio.network.log, ChatSubtype::PingReply), 0);
  EXPECT_EQ(CountSubtype(trio.network.log, ChatSubtype::Ack), 1);
  for (const SentDatagram& d : trio.network.log) EXPECT_LE(d.bytes.size(), kMaxChatPacket);
}

TEST_F(ChatLengths, AThousandSendersFillTheTableAndNoMore) {
  const int bob_at = IndexOf(trio.b.address);
  ASSERT_GT(bob_at, kLocalPeer);
  for (uint16_t port = 0; port < 1000; ++port)
    DeliverBody(trio.a, {0x7F000001, static_cast<uint16_t>(20000 + port)},
                hostile::ChatBody(ChatSubtype::Hello, "many", {}));
  int used = 0;
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) used += trio.a.chat->Peer(i).IsFree() ? 0 : 1;
  EXPECT_EQ(used, kLastOtherPeer + 1);
  // The users known before the flood keep their entries.
  EXPECT_EQ(trio.a.chat->Peer(bob_at).address, trio.b.address);
  EXPECT_EQ(trio.a.chat->Peer(bob_at).nickname.view(), "Bob");
  EXPECT_EQ(trio.a.chat->Peer(kRelayPeer).address, kRelayAddress);
}

Bytes FragmentPayload(uint16_t count, uint32_t offset, size_t data_bytes) {
  Bytes payload(kFragmentHeaderSize + data_bytes, 0xEE);
  payload[0] = static_cast<uint8_t>(count);
  payload[1] = static_cast<uint8_t>(count >> 8);
  for (size_t i = 0; i < 4; ++i) payload[2 + i] = static_cast<uint8_t>(offset >> (8 * i));
  return payload;
}

// Bob offers a file of 1234 bytes.
class FragmentAttack : public ChatAttack {
 protected:
  void SetUp() override {
    WriteFile(dir.path() / "offered.bin", 1234);
    trio.b.Type("/offer offered.bin");
    trio.network.Deliver();
  }
  void FragmentToAlice(PeerAddress from, std::string_view nickname, const Bytes& payload) {
    Deliver(trio.a, from, nickname, ChatSubtype::FileFragment, payload);
  }
  // Alice asks for the file; what Bob sends is lost until RunUntilDownloaded.
  void GetWhileBobIsStalled() {
    trio.network.SetDropRule([&](const SentDatagram& d) { return d.from == trio.b.address; });
    trio.a.Type("/get bob 0 fetched.bin");
    trio.network.Deliver();
  }
  void RunUntilDownloadedWhole() {
    trio.network.SetDropRule(nullptr);
    trio.network.Deliver();
    for (int i = 0; i < 50 && trio.a.chat->IsDownloading(); ++i) trio.Tick();
    EXPECT_FALSE(trio.a.chat->IsDownloading());
    EXPECT_EQ(ReadFile(dir.path() / "fetched.bin"), ReadFile(dir.path() / "offered.bin"));
  }
};

// Lying offsets and counts from the source, and fragments or refusals from
// users who were not asked, write nothing and end nothing.
TEST_F(FragmentAttack, LiesAndUsersNotAskedNeitherWriteNorEndTheDownload) {
  GetWhileBobIsStalled();
  ASSERT_TRUE(trio.a.chat->IsDownloading());
  const std::vector<Bytes> lies = {
      FragmentPayload(501, 0, 501),           // more than a fragment holds
      FragmentPayload(0xFFFF, 0, 1000),       // far more
      FragmentPayload(100, 0, 50),            // more than it carries
      FragmentPayload(10, 1, 10),             // ends the file before its first byte came
      FragmentPayload(500, 0xFFFFFFFF, 500),  // beyond any file, wrapping past 2^32
      FragmentPayload(10, 0x7FFFFFF0, 10),    // beyond the bytes received
  };
  const uint32_t first_lie = serial_ + 1;
  for (const Bytes& lie : lies) FragmentToAlice(trio.b.address, "Bob", lie);
  trio.network.Deliver();
  // Not acknowledged either, so that the source keeps what it really sent.
  for (const SentDatagram& d : trio.network.log) {
    if (d.from == trio.a.address && IsSubtype(d, ChatSubtype::Ack)) {
      EXPECT_LT(std::stoul(std::string(PayloadText(d.view().packet.payload))), first_lie);
    }
  }
  // Payloads that end inside the fragment header.
  const Bytes header = FragmentPayload(3, 0, 3);
  for (size_t size = 0; size < kFragmentHeaderSize; ++size)
    FragmentToAlice(trio.b.address, "Bob", hostile::Truncated(header, size));
  for (PeerAddress from : {trio.c.address, kStranger}) {
    FragmentToAlice(from, "Carol", FragmentPayload(10, 0, 10));  // short: would end it as complete
    Deliver(trio.a, from, "Carol", ChatSubtype::NoFileOffered, {});
  }
  EXPECT_TRUE(trio.a.chat->IsDownloading());
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "fetched.bin.vorn-part"), 0u);
  RunUntilDownloadedWhole();
}

TEST_F(FragmentAttack, AcknowledgementsFromOthersDoNotCancelAFragmentsRetransmission) {
  // Bob's first fragment is lost on its way to Alice.
  GetWhileBobIsStalled();
  ASSERT_GT(trio.b.chat->PendingRecordCount(), 0u);
  // Carol acknowledges every serial Bob can have used so far.
  for (uint32_t serial = 0; serial < 200; ++serial) {
    Bytes payload = Text(std::to_string(serial));
    payload.push_back(0);
    Deliver(trio.b, trio.c.address, "Carol", ChatSubtype::Ack, payload);
  }
  // Bob still sends the lost fragment again, and the file arrives.
  RunUntilDownloadedWhole();
}

TEST_F(FragmentAttack, RequestsForSlotsThatDoNotExistReadNothing) {
  trio.network.log.clear();
  for (std::string_view slot : {"-1", "10", "65536", "4294967296", "99999999999999999999"}) {
    Bytes payload = Text(slot);
    payload.push_back(0);
    Deliver(trio.b, trio.a.address, "Alice", ChatSubtype::FileRequest, payload);
  }
  trio.network.Deliver();
  EXPECT_EQ(CountSubtype(trio.network.log, ChatSubtype::FileFragment), 0);
  EXPECT_EQ(CountSubtype(trio.network.log, ChatSubtype::NoFileOffered), 5);
  // The offer is still served to a proper request.
  trio.a.Type("/get bob 0 fetched.bin");
  RunUntilDownloadedWhole();
}

}  // namespace
}  // namespace vorn
