#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

#include "chat/chat_test_support.h"

namespace vorn {
namespace {

void WriteFile(const std::filesystem::path& path, size_t size) {
  std::ofstream out(path, std::ios::binary);
  for (size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 7 + i / 251) & 0xFF));
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ChatTransfer : public ::testing::Test {
 protected:
  // Lets the transfer run, retransmitting every 2 s, for at most max_ticks.
  void RunUntilDownloaded(int max_ticks) {
    trio.network.Deliver();
    for (int i = 0; i < max_ticks && trio.a.chat->IsDownloading(); ++i) trio.Tick();
  }
  // Bob offers a file of this size, and Alice learns of it.
  void Offer(const std::string& name, size_t size) {
    WriteFile(dir.path() / name, size);
    trio.b.Type("/offer " + name);
    trio.network.Deliver();
  }
  // A datagram sent earlier arrives once more.
  static void Replay(ChatNode& to, const SentDatagram& d) {
    to.chat->OnChatPacket(d.from, std::span<const uint8_t>(d.bytes).subspan(kChatBodyOffset));
  }
  static bool IsFragmentFrom(const SentDatagram& d, const ChatNode& from) {
    return d.from == from.address && d.view().packet.subtype == ChatSubtype::FileFragment;
  }

  TempDir dir;
  ChatTrio trio{dir.path()};
};

class ChatTransferSizes : public ChatTransfer, public ::testing::WithParamInterface<std::tuple<size_t, bool>> {};

TEST_P(ChatTransferSizes, FilesArriveByteExact) {
  auto [size, lossy] = GetParam();
  Offer("offered.bin", size);
  trio.network.keep_log = false;
  if (lossy) trio.network.SetLossPercent(10, static_cast<uint32_t>(size) + 1);
  trio.a.Type("/get bob 0 fetched.bin");
  RunUntilDownloaded(30000);
  EXPECT_FALSE(trio.a.chat->IsDownloading());
  EXPECT_TRUE(ReadFile(dir.path() / "fetched.bin") == ReadFile(dir.path() / "offered.bin"));
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "fetched.bin"), size);
  EXPECT_NE(trio.a.windows.Text("#chat").find("*** The transfer from Bob is complete ("), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(SizesAndLoss, ChatTransferSizes,
                         ::testing::Combine(::testing::Values(0, 499, 500, 1000, 1000000), ::testing::Bool()));

TEST_F(ChatTransfer, LastFragmentHeldBackIsSentOnTheNextAcknowledgement) {
  WriteFile(dir.path() / "small.bin", 300);
  // Bob's offer list does not reach Alice at first: it stays unacknowledged.
  trio.network.SetDropRule([&](const SentDatagram& d) { return d.from == trio.b.address && d.to == trio.a.address; });
  trio.b.Type("/offer small.bin");
  trio.network.Deliver();
  trio.network.SetDropRule(nullptr);
  trio.clock.Advance(1000);
  trio.a.Type("/get Bob 0 copy.bin");
  trio.network.Deliver();
  EXPECT_TRUE(trio.a.chat->IsDownloading());  // held back behind the offer list
  RunUntilDownloaded(3);
  EXPECT_EQ(ReadFile(dir.path() / "copy.bin"), ReadFile(dir.path() / "small.bin"));
  EXPECT_NE(trio.b.windows.Text("#chat").find("*** File transfer to Alice has completed.\r\n"), std::string::npos);
  // 300 bytes in 2001 ms: the rate divides first.
  EXPECT_NE(trio.a.windows.Text("#chat").find("*** The transfer from Bob is complete (0 bytes/sec).\r\n"),
            std::string::npos);
}

// The last fragment of one transfer and its acknowledgement both come late,
// while the next transfer from the same user waits for its first fragment.
TEST_F(ChatTransfer, LateCopiesFromTheLastTransferDisturbNeitherSideOfTheNext) {
  Offer("small.bin", 300);
  Offer("big.bin", 1000);
  std::optional<SentDatagram> late_ack;
  trio.network.SetDropRule([&](const SentDatagram& d) {
    if (d.from != trio.a.address || d.view().packet.subtype != ChatSubtype::Ack) return false;
    if (!late_ack) late_ack = d;
    return true;
  });
  trio.a.Type("/get bob 0 small.copy");
  trio.network.Deliver();
  ASSERT_FALSE(trio.a.chat->IsDownloading());
  ASSERT_TRUE(late_ack.has_value());
  const SentDatagram last_fragment = *std::find_if(trio.network.log.rbegin(), trio.network.log.rend(),
                                                   [&](const SentDatagram& d) { return IsFragmentFrom(d, trio.b); });
  // The next transfer's first fragment is held up on the way.
  trio.network.SetDropRule([&](const SentDatagram& d) { return IsFragmentFrom(d, trio.b); });
  trio.a.Type("/get bob 1 big.copy");
  trio.network.Deliver();
  auto fragments_sent = [&] { return std::ranges::count_if(trio.network.log, [&](const SentDatagram& d) { return IsFragmentFrom(d, trio.b); }); };
  const auto sent_before = fragments_sent();
  Replay(trio.b, *late_ack);
  trio.network.Deliver();
  EXPECT_EQ(fragments_sent(), sent_before) << "a second fragment went in flight";
  Replay(trio.a, last_fragment);
  trio.network.Deliver();
  EXPECT_TRUE(trio.a.chat->IsDownloading()) << "the old last fragment ended the new download";
  trio.network.SetDropRule(nullptr);
  RunUntilDownloaded(5);
  EXPECT_EQ(ReadFile(dir.path() / "big.copy"), ReadFile(dir.path() / "big.bin"));
}

TEST_F(ChatTransfer, GetAndOfferErrorLines) {
  Offer("offered.bin", 10);
  WriteFile(dir.path() / "mine.bin", 3000);
  auto expect = [&](std::string_view line, std::string_view printed) {
    trio.a.windows.ClearText();
    trio.a.Type(line);
    trio.network.Deliver();
    EXPECT_EQ(trio.a.windows.Text("#chat"), printed) << line;
  };
  expect("/get", "*** Command error.  Type /help for a list of commands.\r\n");
  expect("/get bob 0", "*** Command error.  Type /help for a list of commands.\r\n");
  expect("/get zed 0 x.bin", "*** Unknown user.\r\n");
  expect("/get #9 0 x.bin", "*** User doesn't exist\n\r");
  expect("/get bob 0 mine.bin", "*** File already exists.\r\n");
  expect("/get bob 0 no/such/dir/x.bin", "*** File cannot be opened for writing.\r\n");
  expect("/get bob 7 x.bin", "*** Getting file #7 from Bob as \"x.bin\".\r\n*** No file offered!\r\n");
  expect("/offer nothing.bin", "*** Cannot open file.\r\n");
  expect("/deoffer", "*** Command error.  Type /help for a list of commands.\r\n");
  expect("/deoffer x", "*** Command error.  Type /help for a list of commands.\r\n");
  expect("/deoffer 12", "*** File not offered.\r\n");
  // /xget overwrites what /get refuses.
  expect("/xget bob 0 mine.bin", "*** Getting file #0 from Bob as \"mine.bin\".\r\n"
                                 "*** The transfer from Bob is complete (10000 bytes/sec).\r\n");
  EXPECT_EQ(ReadFile(dir.path() / "mine.bin"), ReadFile(dir.path() / "offered.bin"));
}

TEST_F(ChatTransfer, OfferSlotsAreNotReusedUntilAllAreWithdrawn) {
  WriteFile(dir.path() / "f.bin", 1);
  for (int i = 0; i < 10; ++i) trio.b.Type("/offer f.bin");
  trio.b.Type("/deoffer 3");
  trio.b.windows.ClearText();
  trio.b.Type("/offer f.bin");
  EXPECT_EQ(trio.b.windows.Text("#chat"), "*** Already offering 10 files!\r\n");
  trio.network.Deliver();
  trio.clock.Advance(5000);  // beyond the duplicate filter
  trio.a.windows.ClearText();
  trio.b.Type("/offer");
  trio.network.Deliver();
  std::string list = trio.a.windows.Text("#chat");
  EXPECT_EQ(list.find("* Bob                offers the following files for downloading:\r\n"), 0u);
  EXPECT_EQ(list.find("[3] "), std::string::npos);
  EXPECT_NE(list.find("* Bob                [9] f.bin\r\n"), std::string::npos);
  trio.a.Type("/get bob 3 three.bin");
  trio.network.Deliver();
  EXPECT_NE(trio.a.windows.Text("#chat").find("*** No file offered!\r\n"), std::string::npos);
  trio.b.windows.ClearText();
  trio.b.Type("/deoffer ALL");
  trio.b.Type("/offer f.bin");
  EXPECT_EQ(trio.b.windows.Text("#chat"), "*** Deoffering all files.\r\n");
}

TEST_F(ChatTransfer, ProgressAndCancelledDownloads) {
  Offer("big.bin", 3000);
  // Alice's acknowledgements are lost, so the first fragment stays in flight.
  trio.network.SetDropRule([&](const SentDatagram& d) {
    return d.from == trio.a.address && ParseChatDatagram(d.bytes)->packet.subtype == ChatSubtype::Ack;
  });
  trio.a.Type("/get bob 0 out.bin");
  trio.network.Deliver();
  trio.b.windows.ClearText();
  trio.b.Type("/progress");
  EXPECT_EQ(trio.b.windows.Text("#chat"), "*** 500 bytes transferred to Alice.\r\n");
  trio.network.SetDropRule(nullptr);
  trio.a.chat->SendChat(1, ChatSubtype::DownloadCancelled, {});
  trio.network.Deliver();
  EXPECT_NE(trio.b.windows.Text("#chat").find("*** Alice has cancelled the download."), std::string::npos);
  trio.b.windows.ClearText();
  trio.b.Type("/progress");
  EXPECT_EQ(trio.b.windows.Text("#chat"), "");
}

}  // namespace
}  // namespace vorn
