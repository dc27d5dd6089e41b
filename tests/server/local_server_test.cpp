#include "server/local_server.h"

#include <gtest/gtest.h>

#include <array>
#include <mutex>
#include <vector>

#include "support/server_harness.h"

namespace vorn {
namespace {

std::vector<uint8_t> AcceptanceFor(PeerAddress client) {
  std::array<uint8_t, kAddressMessageSize> accepted{};
  BuildAddressMessage(accepted, kTypeAccepted, client);
  return {accepted.begin(), accepted.end()};
}

TEST(LocalServer, APlayerWhoGreetsAgainKeepsOneEntryAndIsNotRefusedByItsOldNickname) {
  ServerHarness h;
  FakeClient first, second;
  ASSERT_EQ(h.Greet(first, "first"), kTypeAccepted);
  ASSERT_EQ(h.Greet(second, "second"), kTypeAccepted);  // entry 1
  first.SendFrameOnly(h.address(), kTypeBye);
  ASSERT_EQ(first.ReceiveType(), kTypeByeAcknowledged);
  EXPECT_FALSE(h.Entry(0).InUse());
  // Greeting again frees entry 1 (its nickname left in it) and takes the
  // lower free entry 0: the old nickname must not count against it.
  for (int greeting = 0; greeting < 2; ++greeting) {
    EXPECT_EQ(h.Greet(second, "second"), kTypeAccepted);
    EXPECT_EQ(h.Entry(0).address, second.address());
    EXPECT_EQ(h.Entry(0).Nickname(), "second");
    EXPECT_FALSE(h.Entry(1).InUse());
  }
}

TEST(LocalServer, ANicknameInUseOrEmptyIsRefusedAndItsEntryFreedAgain) {
  ServerHarness h;
  FakeClient alice, impostor, nameless, other_case;
  ASSERT_EQ(h.Greet(alice, "alice"), kTypeAccepted);
  testing::internal::CaptureStdout();
  EXPECT_EQ(h.Greet(impostor, "alice"), kTypeRejectedNickname);
  EXPECT_EQ(h.Greet(nameless, ""), kTypeRejectedNickname);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Connection rejected: invalid nickname.\r\nConnection rejected: invalid nickname.\r\n");
  EXPECT_FALSE(h.Entry(1).InUse());
  EXPECT_EQ(h.Entry(1).Nickname(), "");
  EXPECT_EQ(h.Greet(other_case, "Alice"), kTypeAccepted);  // compared case-sensitively
  EXPECT_EQ(h.Entry(1).address, other_case.address());
}

TEST(LocalServer, ABroadcastReachesEveryPlayerAsAFrameNamingItsSender) {
  ServerHarness h;
  std::array<FakeClient, 4> clients;
  for (size_t i = 0; i < clients.size(); ++i) ASSERT_EQ(h.Greet(clients[i], "p" + std::to_string(i)), kTypeAccepted);

  int32_t sequence = 77;
  auto broadcast_from_2 = [&](IpxSocket source) {
    std::array<uint8_t, 64> frame{};
    const uint8_t payload[] = {1, 2, 3};
    const size_t size = BuildGameFrame(frame, {kTypeBroadcastFrame, ++sequence, {0x45, 0x00}, source, payload});
    clients[2].Send(h.address(), std::span(frame).first(size));
    // A copy (same sequence number) is not relayed again.
    clients[2].Send(h.address(), std::span(frame).first(size));
    std::array<uint8_t, 64> relayed{};
    const GameFrame directed{kTypeGameFrame, sequence, {0x45, 0x00}, source, payload};
    const size_t inner = BuildGameFrame(relayed, directed);
    std::array<uint8_t, 80> wrap{};
    const size_t wrapped = BuildProxyWrap(wrap, {clients[2].address(), std::span(relayed).first(inner)});
    return std::vector<uint8_t>(wrap.begin(), wrap.begin() + wrapped);
  };

  const std::vector<uint8_t> expected = broadcast_from_2({0x45, 0x00});
  for (FakeClient& client : clients) EXPECT_EQ(client.Receive(), expected);

  // Frames from socket 0x6846 are not echoed to their sender.
  const std::vector<uint8_t> no_echo = broadcast_from_2({0x68, 0x46});
  for (size_t i : {0u, 1u, 3u}) EXPECT_EQ(clients[i].Receive(), no_echo);
  const auto before_sync = clients[2].Sync(h.address());
  ASSERT_TRUE(before_sync.has_value());
  EXPECT_TRUE(before_sync->empty());
  // The sender's entry counts what was passed on for it.
  EXPECT_EQ(h.Entry(2).frames_relayed, 2u);
  EXPECT_EQ(h.Entry(2).bytes_relayed, expected.size() * 4 + no_echo.size() * 3);
  EXPECT_EQ(h.Entry(1).frames_relayed, 0u);
}

// Four players are admitted, each told the address the server sees, and the
// fifth is refused. The host hears of each join, each refusal with its
// reason (only the first three version characters must match) and each
// leaving with bye or time-out, before the player hears the answer.
TEST(LocalServer, AdmitsFourPlayersAndTellsTheHostWhoJoinsIsRefusedAndLeaves) {
  struct Recorder final : ServerEvents {
    void OnPlayerJoined(const PlayerNote& p) override { Add("joined " + std::string(p.Nickname())); }
    void OnPlayerLeft(const PlayerNote& p, LeaveReason reason) override {
      Add("left " + std::string(p.Nickname()) + (reason == LeaveReason::kBye ? " bye" : " timeout"));
    }
    void OnPlayerRefused(const PlayerNote& p, std::string_view why) override {
      Add("refused " + std::string(p.Nickname()) + ": " + std::string(why));
    }
    void Add(std::string line) {
      std::lock_guard lock(mutex);
      lines.push_back(std::move(line));
    }
    std::mutex mutex;
    std::vector<std::string> lines;
  } events;
  ServerHarness h([&events](ServerHarness& s) { s.server.SetEvents(&events); });
  std::array<FakeClient, 6> clients;
  for (size_t i = 0; i < 4; ++i) {
    clients[i].SendHello(h.address(), "p" + std::to_string(i), i == 3 ? "1.2y9" : kProtocolVersion);
    EXPECT_EQ(clients[i].Receive(), AcceptanceFor(clients[i].address()));
    EXPECT_EQ(h.Entry(static_cast<int>(i)).address, clients[i].address());
  }
  EXPECT_EQ(h.Entry(3).Nickname(), "p3");
  EXPECT_EQ(h.Greet(clients[4], "p4"), kTypeRejectedFull);
  EXPECT_NE(h.window.Text().find("Warning!  Server is out of connections!\n"), std::string::npos);
  clients[1].SendFrameOnly(h.address(), kTypeBye);
  ASSERT_EQ(clients[1].ReceiveType(), kTypeByeAcknowledged);
  EXPECT_EQ(h.Greet(clients[5], "p5", "1.3x1"), kTypeRejectedVersion);
  EXPECT_NE(h.window.Text().find("Hello!\r\nRejected connection. Version mismatch: 1.2 <> 1.3\r\n"), std::string::npos);
  EXPECT_FALSE(h.Entry(1).InUse());
  EXPECT_EQ(h.Greet(clients[4], "p0"), kTypeRejectedNickname);
  h.clock.Advance((LocalServer::kSilenceLimitS + 1) * 1000);
  h.server.SweepTimeouts();
  std::lock_guard lock(events.mutex);
  EXPECT_EQ(events.lines,
            (std::vector<std::string>{"joined p0", "joined p1", "joined p2", "joined p3", "refused p4: server full",
                                      "left p1 bye", "refused p5: version 1.3x1 differs from 1.2",
                                      "refused p0: nickname in use", "left p2 timeout", "left p3 timeout"}));
}

}  // namespace
}  // namespace vorn
