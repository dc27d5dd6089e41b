#include "ipx/driver_link.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ipx/ipx_test_support.h"

namespace vorn {
namespace {

using namespace ipx_test;

constexpr PeerAddress kPeer{kLoopback, 40001};
constexpr std::array<uint8_t, 20> kPayload{};

SimulatedDriver::GamePacket PacketTo(PeerAddress to) { return {to, {0x45, 0x00}, {0x45, 0x00}, kPayload}; }

// The sequence numbers of the frames sent, in order.
std::vector<int32_t> SentSequences(const SentLog& log) {
  std::vector<int32_t> sequences;
  for (const Sent& sent : log.All()) {
    if (std::optional<GameFrame> frame = ParseGameFrame(sent.bytes)) sequences.push_back(frame->sequence);
  }
  return sequences;
}

TEST(DriverLinkTest, OpenAndRestartRegisterTheOwnAddress) {
  Harness h;
  ASSERT_TRUE(h.link.OpenDriverLink());
  EXPECT_TRUE(h.link.IsForwarding());
  ASSERT_EQ(h.driver.Registrations().size(), 1u);
  EXPECT_EQ(h.driver.Registrations()[0].own, (PeerAddress{kLoopback, 2213}));

  // A restart registers the new own address, and its new send thread forwards.
  h.addresses.local.Store({0x7F000002, 3000});
  ASSERT_TRUE(h.link.RestartDriverLink());
  ASSERT_EQ(h.driver.Registrations().size(), 2u);
  EXPECT_EQ(h.driver.Registrations()[1].own, (PeerAddress{0x7F000002, 3000}));
  ASSERT_TRUE(h.driver.PutGamePacket(PacketTo(kPeer)));
  ASSERT_TRUE(h.driver.WaitUntilIdle(kWait));
  EXPECT_EQ(h.sent.Count(), 1u);
}

TEST(DriverLinkTest, DeviceThatCannotBeOpenedIsReportedInABox) {
  Harness h;
  h.driver.FailOpen(50);
  EXPECT_FALSE(h.link.OpenDriverLink());
  h.driver.FailOpen(0x2);
  EXPECT_FALSE(h.link.OpenDriverLink());
  h.driver.FailOpen(0x1F);
  EXPECT_FALSE(h.link.OpenDriverLink());

  const std::string hint = ").  Make sure VORN95.VXD is in the Vorn95 directory or in the PATH.\n";
  EXPECT_EQ(h.dialogs.shown, (std::vector<ScriptedDialogs::Shown>{
                                 {"Initialization Error", "Unable to open VxD, device does not support DeviceIOCTL"},
                                 {"Initialization Error", "Unable to open VxD(2" + hint},
                                 {"Initialization Error", "Unable to open VxD(1f" + hint}}));
  EXPECT_FALSE(h.link.IsOpen());
  EXPECT_TRUE(h.driver.Registrations().empty());
}

TEST(DriverLinkTest, RefusedRegistrationIsPrintedAndTheRingLeftAlone) {
  Harness h;
  h.driver.RefuseRegistration(true);
  ASSERT_TRUE(h.driver.FillSlot(0, PacketTo(kPeer)));
  testing::internal::CaptureStdout();
  EXPECT_TRUE(h.link.OpenDriverLink());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Device does not support the requested API.  Error:0\n");
  EXPECT_FALSE(h.link.IsForwarding());

  h.driver.Signal();
  ASSERT_TRUE(h.driver.WaitUntilIdle(kWait));
  EXPECT_TRUE(h.driver.ring().slot(0).IsFilled());
  EXPECT_EQ(h.driver.ring().slot(0).Frame()[0], 0);  // no header written either
  EXPECT_EQ(h.sent.Count(), 0u);
}

// A wake-up forwards from slot 0 up to the first free slot; a full ring is
// drained whole, and the next wake-up starts at slot 0 again.
TEST(DriverLinkTest, WakeUpForwardsFromSlotZeroUpToTheFirstFreeSlot) {
  Harness h;
  ASSERT_TRUE(h.link.OpenDriverLink());
  ASSERT_TRUE(h.driver.WaitUntilIdle(kWait));
  for (size_t slot : {0, 1, 2, 4, 5, 19}) ASSERT_TRUE(h.driver.FillSlot(slot, PacketTo(kPeer)));
  h.driver.Signal();
  ASSERT_TRUE(h.driver.WaitUntilIdle(kWait));
  EXPECT_EQ(SentSequences(h.sent), (std::vector<int32_t>{1, 2, 3}));
  for (size_t slot : {0, 1, 2, 3}) EXPECT_TRUE(h.driver.ring().slot(slot).IsFree()) << slot;
  for (size_t slot : {4, 5, 19}) EXPECT_TRUE(h.driver.ring().slot(slot).IsFilled()) << slot;

  for (size_t slot = 0; slot < kRingSlotCount; ++slot)
    ASSERT_TRUE(!h.driver.ring().slot(slot).IsFree() || h.driver.FillSlot(slot, PacketTo(kPeer))) << slot;
  h.driver.Signal();
  ASSERT_TRUE(h.driver.WaitUntilIdle(kWait));
  EXPECT_EQ(h.sent.Count(), 3 + kRingSlotCount);
  for (size_t slot = 0; slot < kRingSlotCount; ++slot) EXPECT_TRUE(h.driver.ring().slot(slot).IsFree()) << slot;
  EXPECT_EQ(h.driver.PutGamePacket(PacketTo(kPeer)), size_t{0});
  ASSERT_TRUE(h.driver.WaitUntilIdle(kWait));
  EXPECT_EQ(SentSequences(h.sent).back(), 3 + 21);
}

}  // namespace
}  // namespace vorn
