// Both game packet paths run for every packet on busy threads: they must not
// allocate. This file replaces the global allocation functions of the test
// binary with ones that count, but only on a thread that asked them to. A
// binary has one set of them, so other allocation tests count through the
// two functions at the end of this file.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "ipx/forwarding.h"
#include "ipx/ipx_test_support.h"

namespace {

thread_local bool counting_allocations = false;
std::atomic<size_t> allocations{0};

void* CountedAllocation(std::size_t size) noexcept {
  if (counting_allocations) allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

void* CountedAllocationOrThrow(std::size_t size) {
  if (void* p = CountedAllocation(size)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return CountedAllocationOrThrow(size); }
void* operator new[](std::size_t size) { return CountedAllocationOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace vorn::allocation_count {

void CountOnThisThread(bool on) { counting_allocations = on; }
size_t Total() { return allocations.load(); }

}  // namespace vorn::allocation_count

namespace vorn {
namespace {

using namespace ipx_test;

constexpr int kPackets = 200;

void SetSequence(std::vector<uint8_t>& frame, int32_t sequence) {
  for (size_t i = 0; i < 4; ++i) frame[5 + i] = static_cast<uint8_t>(static_cast<uint32_t>(sequence) >> (8 * i));
}

TEST(ForwardingAllocationTest, NeitherPathAllocatesPerPacket) {
  std::atomic<int> sends{0};
  std::atomic<int> chats{0};
  ForwarderHooks hooks;
  hooks.on_chat_packet = [&](PeerAddress, std::span<const uint8_t>) { ++chats; };
  Harness h(hooks, [&](PeerAddress, std::span<const uint8_t>) { return ++sends; });
  ASSERT_TRUE(h.link.OpenDriverLink());
  h.addresses.server.Store({kLoopback, 2213});
  ListPlayers(h, LoopbackPlayers(1, 12));
  std::array<uint8_t, kRingBytes> memory{};
  PacketRing ring(memory);
  ring.WriteFrameHeaders();
  const std::vector<uint8_t> payload = Bytes(91);  // a 104-byte frame: the history is consulted
  std::vector<uint8_t> game = FrameBytes(0, {0x51, 0x00}, Bytes(40));
  std::vector<uint8_t> chat = FrameBytes(1, kChatSocket, Bytes(40), kChatSocket);
  std::vector<uint8_t> marker = MarkerFrame(0, 1);

  const size_t before = allocations.load();
  counting_allocations = true;
  for (int i = 1; i <= kPackets; ++i) {
    PacketSlot slot = ring.slot(static_cast<size_t>(i) % kRingSlotCount);
    PeerAddress to =
        i % 3 == 0 ? PeerAddress{kBroadcastDestination, 0} : PeerAddress{kLoopback, static_cast<uint16_t>(i % 15 + 1)};
    slot.Fill({to, i, {0x51, 0x00}, {0x51, 0x00}, payload});
    h.forwarder.ForwardDriverPacket(slot);
    SetSequence(game, i);
    h.forwarder.OnGameFrame(game, {kLoopback, static_cast<uint16_t>(i % 12 + 1)});
    h.forwarder.OnGameFrame(chat, {kLoopback, 7});
    SetSequence(marker, i);
    h.forwarder.OnGameFrame(marker, {kLoopback, 8});
    h.forwarder.OnGameFrame(game, {kLoopback, static_cast<uint16_t>(9000 + i % 200)});  // strangers: held or dropped
  }
  counting_allocations = false;

  EXPECT_EQ(allocations.load() - before, 0u);
  EXPECT_GT(sends.load(), kPackets / 3);  // both paths did run their work
  EXPECT_EQ(chats.load(), kPackets);
  EXPECT_GE(h.driver.DeliveryCount(), static_cast<size_t>(2 * kPackets));
}

}  // namespace
}  // namespace vorn
