#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "chat/chat_test_support.h"

namespace vorn {
namespace {

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
    trio.b.Say("/offer " + name);
  }
  // A datagram sent earlier arrives once more.
  static void Replay(ChatNode& to, const SentDatagram& d) {
    to.chat->OnChatPacket(d.from, std::span<const uint8_t>(d.bytes).subspan(kChatBodyOffset));
  }
  static bool IsFragmentFrom(const SentDatagram& d, const ChatNode& from) {
    return d.from == from.address && d.view().packet.subtype == ChatSubtype::FileFragment;
  }
  static void SetWindowed(ChatNode& node, bool on) {
    node.profile.WriteInt("Misc", "Windowed Transfers", on ? 1 : 0);
    node.settings.LoadSettings();
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(dir.path() / name); }

  TempDir dir;
  ChatTrio trio{dir.path()};
};

// Size, loss (with duplication and reordering), and whether the downloader
// and the offering side each have windowed transfers on: a window runs only
// when both do, one fragment at a time otherwise.
class ChatTransferSizes : public ChatTransfer,
                          public ::testing::WithParamInterface<std::tuple<size_t, bool, bool, bool>> {};

TEST_P(ChatTransferSizes, FilesArriveByteExact) {
  auto [size, lossy, downloader_window, sender_window] = GetParam();
  SetWindowed(trio.a, downloader_window);
  SetWindowed(trio.b, sender_window);
  Offer("offered.bin", size);
  trio.network.keep_log = false;
  if (lossy) trio.network.SetLossPercent(20, static_cast<uint32_t>(size) + 1, 10, 10);
  trio.a.Type("/get bob 0 fetched.bin");
  RunUntilDownloaded(30000);
  EXPECT_FALSE(trio.a.chat->IsDownloading());
  EXPECT_TRUE(ReadFile(dir.path() / "fetched.bin") == ReadFile(dir.path() / "offered.bin"));
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "fetched.bin"), size);
  EXPECT_FALSE(Exists("fetched.bin.vorn-part"));
  EXPECT_NE(trio.a.windows.Text("#chat").find("*** The transfer from Bob is complete ("), std::string::npos);
  // Pending records are reused, never freed: their number is the most
  // packets that were in flight at once.
  if (size >= 100000) {
    EXPECT_EQ(trio.b.chat->PendingRecordCount() > 8, downloader_window && sender_window);
  }
}

INSTANTIATE_TEST_SUITE_P(SizesAndLoss, ChatTransferSizes,
                         ::testing::Combine(::testing::Values(0, 499, 1000, 100000), ::testing::Bool(),
                                            ::testing::Bool(), ::testing::Bool()));
INSTANTIATE_TEST_SUITE_P(Megabyte, ChatTransferSizes,
                         ::testing::Combine(::testing::Values(1000000), ::testing::Bool(), ::testing::Values(true),
                                            ::testing::Bool()));

TEST_F(ChatTransfer, LastFragmentHeldBackIsSentOnTheNextAcknowledgement) {
  WriteFile(dir.path() / "small.bin", 300);
  // Bob's offer list does not reach Alice at first: it stays unacknowledged.
  trio.network.SetDropRule([&](const SentDatagram& d) { return d.from == trio.b.address && d.to == trio.a.address; });
  trio.b.Say("/offer small.bin");
  trio.network.SetDropRule(nullptr);
  trio.clock.Advance(1000);
  trio.a.Say("/get Bob 0 copy.bin");
  EXPECT_TRUE(trio.a.chat->IsDownloading());  // held back behind the offer list
  RunUntilDownloaded(3);
  EXPECT_EQ(ReadFile(dir.path() / "copy.bin"), ReadFile(dir.path() / "small.bin"));
  EXPECT_NE(trio.b.windows.Text("#chat").find("*** File transfer to Alice has completed.\r\n"), std::string::npos);
  // 300 bytes in 2001 ms: not rounded down to nothing.
  EXPECT_NE(trio.a.windows.Text("#chat").find(
                "*** The transfer from Bob is complete (149 bytes/sec, 300 bytes in 2.0 s).\r\n"),
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
  trio.a.Say("/get bob 0 small.copy");
  ASSERT_FALSE(trio.a.chat->IsDownloading());
  ASSERT_TRUE(late_ack.has_value());
  const SentDatagram last_fragment = *std::find_if(trio.network.log.rbegin(), trio.network.log.rend(),
                                                   [&](const SentDatagram& d) { return IsFragmentFrom(d, trio.b); });
  // The next transfer's first fragment is held up on the way.
  trio.network.SetDropRule([&](const SentDatagram& d) { return IsFragmentFrom(d, trio.b); });
  trio.a.Say("/get bob 1 big.copy");
  auto fragments_sent = [&] {
    return std::ranges::count_if(trio.network.log, [&](const SentDatagram& d) { return IsFragmentFrom(d, trio.b); });
  };
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
  ChatNode& a = trio.a;
  a.ExpectPrints("/get bob", "*** Command error.  Type /help for a list of commands.\r\n");
  // Without a name: the one the file was announced under, or none.
  a.ExpectPrints("/get bob 0", "*** File already exists; /xget overwrites it.\r\n");
  a.ExpectPrints("/get bob 5", "*** No name known for file #5: give one after the number.\r\n");
  a.ExpectPrints("/get zed 0 x.bin", "*** Unknown user.\r\n");
  a.ExpectPrints("/get #9 0 x.bin", "*** User doesn't exist\n\r");
  a.ExpectPrints("/get bob 0 no/such/dir/x.bin", "*** File cannot be opened for writing.\r\n");
  a.ExpectPrints("/get bob 7 x.bin", "*** Getting file #7 from Bob as \"x.bin\".\r\n*** No file offered!\r\n");
  EXPECT_FALSE(Exists("x.bin"));  // a refused /get leaves nothing behind
  a.ExpectPrints("/offer nothing.bin", "*** Cannot open file.\r\n");
  a.ExpectPrints("/deoffer 12", "*** File not offered.\r\n");
  // /xget overwrites what /get refuses.
  a.ExpectPrints("/xget bob 0 mine.bin",
                 "*** Getting file #0 from Bob as \"mine.bin\".\r\n"
                 "*** The transfer from Bob is complete (10000 bytes/sec, 10 bytes in 0.0 s).\r\n");
  EXPECT_EQ(ReadFile(dir.path() / "mine.bin"), ReadFile(dir.path() / "offered.bin"));
  // An announced name keeps only its last part.
  trio.clock.Advance(5000);  // beyond the duplicate filter
  trio.b.Say("/me [1] ../escape.bin");
  a.ExpectPrints("/get bob 1", "*** Getting file #1 from Bob as \"escape.bin\".\r\n*** No file offered!\r\n");
}

// Names announced by other machines keep only their last part.
TEST(OfferedNames, KeepOnlyASafeLastPartPerSenderAndSlot) {
  const std::pair<std::string_view, std::string_view> names[] = {
      {"[0] map.zip", "map.zip"},
      {"[1] ../../.profile", ".profile"},
      {"[2] C:\\games\\x.sav", "x.sav"},
      {"[3] /etc/passwd", "passwd"},
      {"[4] ..", ""},
      {"[5] a\x01z", ""},
      {"[6] dir/", ""},
      {"[x] no.bin", ""},
      {"offers the following", ""},
  };
  OfferedNames offered;
  const PeerAddress bob{0x7F000001, 2214};
  for (const auto& [action, kept] : names) {
    offered.Note(bob, action);
    const int slot = action[1] - '0';
    EXPECT_EQ(offered.NameOf(bob, slot), kept) << action;
  }
  EXPECT_EQ(offered.NameOf(PeerAddress{0x7F000001, 2215}, 0), "");
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
  trio.b.Say("/offer");
  std::string list = trio.a.windows.Text("#chat");
  EXPECT_EQ(list.find("* Bob                offers the following files for downloading:\r\n"), 0u);
  EXPECT_EQ(list.find("[3] "), std::string::npos);
  EXPECT_NE(list.find("* Bob                [9] f.bin\r\n"), std::string::npos);
  trio.a.Say("/get bob 3 three.bin");
  EXPECT_NE(trio.a.windows.Text("#chat").find("*** No file offered!\r\n"), std::string::npos);
  trio.b.windows.ClearText();
  trio.b.Type("/deoffer ALL");
  trio.b.Type("/offer f.bin");
  EXPECT_EQ(trio.b.windows.Text("#chat"), "*** Deoffering all files.\r\n");
}

// /cancel ends the download here and the upload there, and leaves no file.
TEST_F(ChatTransfer, ProgressAndCancelledDownloads) {
  Offer("big.bin", 100000);
  // Alice's acknowledgements are lost, so a window of fragments stays in flight.
  trio.network.SetDropRule(
      [&](const SentDatagram& d) { return d.from == trio.a.address && d.view().packet.subtype == ChatSubtype::Ack; });
  trio.a.Say("/get bob 0 out.bin");
  trio.b.ExpectPrints("/progress", Format("*** %zu bytes transferred to Alice.\r\n", kTransferWindow * 500));
  trio.network.SetDropRule(nullptr);
  trio.a.Say("/cancel");
  EXPECT_FALSE(trio.a.chat->IsDownloading());
  EXPECT_NE(trio.a.windows.Text("#chat").find("*** Download of \"out.bin\" cancelled.\r\n"), std::string::npos);
  EXPECT_NE(trio.b.windows.Text("#chat").find("*** Alice has cancelled the download."), std::string::npos);
  EXPECT_FALSE(Exists("out.bin") || Exists("out.bin.vorn-part"));
  trio.b.ExpectPrints("/progress", "");
  trio.network.log.clear();
  trio.Tick();
  EXPECT_EQ(std::ranges::count_if(trio.network.log, [&](const SentDatagram& d) { return IsFragmentFrom(d, trio.b); }),
            0);
  trio.a.ExpectPrints("/cancel", "*** No download to cancel.\r\n");
}

class ChatTransferFailure : public ChatTransfer {
 protected:
  // The download ends once, with a line on each side, and leaves no file.
  void ExpectEndedOnce(std::string_view alice_line, std::string_view bob_line) {
    RunUntilDownloaded(20);  // 40 s
    std::string alice = trio.a.windows.Text("#chat");
    EXPECT_FALSE(trio.a.chat->IsDownloading());
    EXPECT_EQ(CountOf(alice, alice_line), 1u) << alice;
    EXPECT_EQ(CountOf(alice, "Strange"), 0u) << alice;
    if (!bob_line.empty()) {
      EXPECT_EQ(CountOf(trio.b.windows.Text("#chat"), bob_line), 1u) << trio.b.windows.Text("#chat");
    }
    EXPECT_FALSE(Exists("out.bin") || Exists("out.bin.vorn-part"));
  }
};

TEST_F(ChatTransferFailure, ASenderThatVanishesEndsTheDownloadWithinThirtySeconds) {
  Offer("big.bin", 100000);
  int fragments = 0;
  trio.network.SetDropRule([&](const SentDatagram& d) {
    return d.from == trio.b.address && (!IsFragmentFrom(d, trio.b) || ++fragments > 5);
  });
  trio.a.Type("/get bob 0 out.bin");
  ExpectEndedOnce("*** The download of \"out.bin\" stopped: nothing arrived for 30 seconds.\r\n", "");
}

TEST_F(ChatTransferFailure, ASendersReadErrorIsToldToTheDownloader) {
  Offer("big.bin", 100000);
  trio.network.SetDropRule(
      [&](const SentDatagram& d) { return d.from == trio.a.address && IsSubtype(d, ChatSubtype::Ack); });
  trio.a.Say("/get bob 0 out.bin");
  trio.b.Type("/deoffer 0");
  trio.network.SetDropRule(nullptr);
  ExpectEndedOnce("*** No file offered!\r\n", "*** Cannot set file pointer!\r\n");
}

#ifdef __linux__
TEST_F(ChatTransferFailure, AReceiversWriteErrorEndsItOnceAndTellsTheSender) {
  Offer("big.bin", 100000);
  std::filesystem::create_symlink("/dev/full", dir.path() / "out.bin.vorn-part");
  trio.a.Type("/get bob 0 out.bin");
  ExpectEndedOnce("Error ", "*** Alice has cancelled the download.");
}
#endif

}  // namespace
}  // namespace vorn
