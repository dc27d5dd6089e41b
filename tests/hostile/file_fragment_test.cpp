// File transfers under attack: lying fragments, fragments, refusals and
// acknowledgements from users not asked, requests for slots that do not
// exist. The download stays as it was and the real file still arrives whole.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "chat/chat_test_support.h"
#include "hostile/hostile_support.h"

namespace vorn {
namespace {

constexpr PeerAddress kStranger{0x7F000001, 6002};

void WriteFile(const std::filesystem::path& path, size_t size) {
  std::ofstream out(path, std::ios::binary);
  for (size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 13 + i / 97) & 0xFF));
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

hostile::Bytes FragmentPayload(uint16_t count, uint32_t offset, size_t data_bytes) {
  hostile::Bytes payload(kFragmentHeaderSize + data_bytes, 0xEE);
  payload[0] = static_cast<uint8_t>(count);
  payload[1] = static_cast<uint8_t>(count >> 8);
  for (int i = 0; i < 4; ++i) payload[2 + static_cast<size_t>(i)] = static_cast<uint8_t>(offset >> (8 * i));
  return payload;
}

class FragmentAttack : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.path() / "offered.bin", kFileSize);
    trio.b.Type("/offer offered.bin");
    trio.network.Deliver();
  }
  // A chat packet to `to`, as from `from`, in a buffer of exactly its size.
  void Deliver(ChatNode& to, PeerAddress from, std::string_view nickname, ChatSubtype subtype,
               std::span<const uint8_t> payload) {
    const hostile::Bytes body = hostile::ChatBody(subtype, nickname, payload, ++serial_);
    std::unique_ptr<uint8_t[]> exact(new uint8_t[body.size()]);
    std::copy(body.begin(), body.end(), exact.get());
    to.chat->OnChatPacket(from, std::span<const uint8_t>(exact.get(), body.size()));
  }
  void FragmentToAlice(PeerAddress from, std::string_view nickname, const hostile::Bytes& payload) {
    Deliver(trio.a, from, nickname, ChatSubtype::FileFragment, payload);
  }
  void StallBob() {
    trio.network.SetDropRule([&](const SentDatagram& d) { return d.from == trio.b.address; });
  }
  void RunUntilDownloaded() {
    trio.network.SetDropRule(nullptr);
    trio.network.Deliver();
    for (int i = 0; i < 50 && trio.a.chat->IsDownloading(); ++i) trio.Tick();
  }
  void ExpectWholeFileArrived() {
    EXPECT_FALSE(trio.a.chat->IsDownloading());
    EXPECT_EQ(ReadFile(dir.path() / "fetched.bin"), ReadFile(dir.path() / "offered.bin"));
  }

  static constexpr size_t kFileSize = 1234;
  TempDir dir;
  ChatTrio trio{dir.path()};
  uint32_t serial_ = 50000;
};

// Lying offsets and counts from the source, and fragments or refusals from
// users who were not asked, write nothing and end nothing.
TEST_F(FragmentAttack, LiesAndUsersNotAskedNeitherWriteNorEndTheDownload) {
  StallBob();
  trio.a.Type("/get bob 0 fetched.bin");
  trio.network.Deliver();
  ASSERT_TRUE(trio.a.chat->IsDownloading());
  const std::vector<hostile::Bytes> lies = {
      FragmentPayload(501, 0, 501),           // more than a fragment holds
      FragmentPayload(0xFFFF, 0, 1000),       // far more
      FragmentPayload(100, 0, 50),            // more than it carries
      FragmentPayload(10, 1, 10),             // ends the file before its first byte came
      FragmentPayload(500, 0xFFFFFFFF, 500),  // beyond any file, wrapping past 2^32
      FragmentPayload(10, 0x7FFFFFF0, 10),    // beyond the bytes received
  };
  for (const hostile::Bytes& lie : lies) FragmentToAlice(trio.b.address, "Bob", lie);
  // Payloads that end inside the fragment header.
  const hostile::Bytes header = FragmentPayload(3, 0, 3);
  for (size_t size = 0; size < kFragmentHeaderSize; ++size) {
    FragmentToAlice(trio.b.address, "Bob", hostile::Truncated(header, size));
  }
  for (PeerAddress from : {trio.c.address, kStranger}) {
    FragmentToAlice(from, "Carol", FragmentPayload(10, 0, 10));  // short: would end it as complete
    Deliver(trio.a, from, "Carol", ChatSubtype::NoFileOffered, {});
  }
  EXPECT_TRUE(trio.a.chat->IsDownloading());
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "fetched.bin.vorn-part"), 0u);
  RunUntilDownloaded();
  ExpectWholeFileArrived();
}

TEST_F(FragmentAttack, AcknowledgementsFromOthersDoNotCancelAFragmentsRetransmission) {
  // Bob's first fragment is lost on its way to Alice.
  StallBob();
  trio.a.Type("/get bob 0 fetched.bin");
  trio.network.Deliver();
  ASSERT_GT(trio.b.chat->PendingRecordCount(), 0u);
  // Carol acknowledges every serial Bob can have used so far.
  for (uint32_t serial = 0; serial < 200; ++serial) {
    const std::string text = std::to_string(serial);
    hostile::Bytes payload(text.begin(), text.end());
    payload.push_back(0);
    Deliver(trio.b, trio.c.address, "Carol", ChatSubtype::Ack, payload);
  }
  // Bob still sends the lost fragment again, and the file arrives.
  RunUntilDownloaded();
  ExpectWholeFileArrived();
}

TEST_F(FragmentAttack, RequestsForSlotsThatDoNotExistReadNothing) {
  trio.network.log.clear();
  for (std::string_view slot : {"-1", "10", "65536", "4294967296", "99999999999999999999"}) {
    hostile::Bytes payload(slot.begin(), slot.end());
    payload.push_back(0);
    Deliver(trio.b, trio.a.address, "Alice", ChatSubtype::FileRequest, payload);
  }
  trio.network.Deliver();
  EXPECT_EQ(CountSubtype(trio.network.log, ChatSubtype::FileFragment), 0);
  EXPECT_EQ(CountSubtype(trio.network.log, ChatSubtype::NoFileOffered), 5);
  // The offer is still served to a proper request.
  trio.a.Type("/get bob 0 fetched.bin");
  RunUntilDownloaded();
  ExpectWholeFileArrived();
}

}  // namespace
}  // namespace vorn
