// The IPX bridge's per-packet work, which runs on busy threads for every game
// packet: the outbound filters and send from a ring slot, the inbound
// filters and delivery, and the hand-over of slots between the driver's
// thread and the send thread. Nothing leaves the process: the send is a
// counter, the driver a simulated one.
//
// Usage: ipx_forwarding_bench [PACKETS]
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "ipx/driver_link.h"
#include "ipx/forwarding.h"
#include "ipx/simulated_driver.h"
#include "node/null_ports.h"
#include "platform/memory_profile.h"

namespace vorn {
namespace {

using Steady = std::chrono::steady_clock;
constexpr auto kTimeLimit = std::chrono::seconds(20);

double NanosPerPacket(Steady::time_point start, long packets) {
  return std::chrono::duration<double, std::nano>(Steady::now() - start).count() / static_cast<double>(packets);
}

void Report(const char* what, Steady::time_point start, long packets) {
  std::printf("%-36s %8.1f ns/packet  (%ld packets)\n", what, NanosPerPacket(start, packets), packets);
}

struct Bridge {
  Bridge()
      : link({driver, dialogs, window, profile, addresses},
             [this](PacketSlot slot) { forwarder.ForwardDriverPacket(slot); }),
        forwarder(link, clock, addresses, [this](PeerAddress, std::span<const uint8_t>) { return ++sent; }) {
    addresses.local.Store({0x7F000001, 2213});
    addresses.server.Store({0x7F000001, 2214});
  }
  ~Bridge() { link.CloseDriverLink(); }

  SimulatedDriver driver;
  NullDialogs dialogs;
  NullWindow window;
  MemoryProfile profile;
  SharedAddresses addresses;
  SteadyClock clock;
  std::atomic<long> sent{0};
  DriverLink link;
  GameForwarder forwarder;
};

void BenchOutbound(Bridge& bridge, long packets) {
  std::vector<uint8_t> memory(kRingBytes);
  PacketRing ring(memory);
  ring.WriteFrameHeaders();
  const std::vector<uint8_t> payload(91, 0x22);  // 104-byte frames: the history is consulted
  const Steady::time_point start = Steady::now();
  for (long i = 0; i < packets; ++i) {
    PacketSlot slot = ring.slot(static_cast<size_t>(i) % kRingSlotCount);
    slot.Fill(
        {{0x7F000001, static_cast<uint16_t>(1000 + i % 16)}, static_cast<int32_t>(i), {0x51, 0}, {0x51, 0}, payload});
    bridge.forwarder.ForwardDriverPacket(slot);
  }
  Report("fill + ForwardDriverPacket", start, packets);
}

void BenchInbound(Bridge& bridge, long packets) {
  const std::vector<uint8_t> payload(91, 0x33);
  std::vector<uint8_t> frame(kGameFrameHeaderSize + payload.size());
  BuildGameFrame(frame, {kTypeGameFrame, 0, {0x51, 0}, {0x51, 0}, payload});
  const Steady::time_point start = Steady::now();
  for (long i = 0; i < packets; ++i) {
    frame[5] = static_cast<uint8_t>(i);  // a rising sequence number per sender
    frame[6] = static_cast<uint8_t>(i >> 8);
    frame[7] = static_cast<uint8_t>(i >> 16);
    bridge.forwarder.OnGameFrame(frame, {0x7F000001, static_cast<uint16_t>(2000 + i % 8)});
  }
  Report("OnGameFrame + deliver", start, packets);
}

// The local game's side fills slots as fast as the send thread frees them.
void BenchHandOver(Bridge& bridge, long packets) {
  const std::vector<uint8_t> payload(91, 0x44);
  const long before = bridge.sent.load();
  const Steady::time_point start = Steady::now();
  long put = 0;
  while (put < packets && Steady::now() - start < kTimeLimit) {
    if (bridge.driver.PutGamePacket({{0x7F000001, 3000}, {0x45, 0}, {0x45, 0}, payload})) {
      ++put;
    } else {
      std::this_thread::yield();
    }
  }
  while (bridge.sent.load() - before < put && Steady::now() - start < kTimeLimit) std::this_thread::yield();
  Report("ring hand-over to the send thread", start, bridge.sent.load() - before);
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  const long packets = argc > 1 ? atol(argv[1]) : 1'000'000;
  if (packets <= 0 || packets > 100'000'000) {
    std::fprintf(stderr, "usage: ipx_forwarding_bench [PACKETS (1..100000000)]\n");
    return 2;
  }
  vorn::Bridge bridge;
  if (!bridge.link.OpenDriverLink()) return 1;
  vorn::BenchOutbound(bridge, packets);
  vorn::BenchInbound(bridge, packets);
  vorn::BenchHandOver(bridge, packets / 10);
  return 0;
}
