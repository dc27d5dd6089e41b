#pragma once
// Doubles and a harness for the IPX bridge tests: a simulated driver behind
// an opened link, a forwarder whose sends are recorded, and frame builders.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ipx/driver_link.h"
#include "ipx/forwarding.h"
#include "ipx/simulated_driver.h"
#include "net/messages.h"
#include "platform/clock.h"
#include "platform/memory_profile.h"
#include "platform/text.h"
#include "server/player_tables.h"
#include "support/scripted_dialogs.h"
#include "support/test_node.h"

namespace vorn::ipx_test {

using namespace std::chrono_literals;

inline constexpr uint32_t kLoopback = 0x7F000001;
inline constexpr auto kWait = 5s;
// The send thread drains only when signalled: a wait that timed out would
// drain a ring that a test is still laying out.
inline constexpr int32_t kSendWaitMs = 600'000;

struct Sent {
  PeerAddress to;
  std::vector<uint8_t> bytes;
};

// Records every datagram the forwarder sends, from whichever thread.
class SentLog {
 public:
  SendPacketFunction Sender() {
    return [this](PeerAddress to, std::span<const uint8_t> datagram) {
      std::lock_guard lock(mutex_);
      sent_.push_back({to, {datagram.begin(), datagram.end()}});
      return static_cast<int>(datagram.size());
    };
  }
  std::vector<Sent> All() const {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  size_t Count() const {
    std::lock_guard lock(mutex_);
    return sent_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Sent> sent_;
};

inline std::vector<uint8_t> Bytes(size_t count, uint8_t fill = 0x11) { return std::vector<uint8_t>(count, fill); }

// A directed game frame as it arrives from the network.
inline std::vector<uint8_t> FrameBytes(int32_t sequence, IpxSocket destination_socket, std::vector<uint8_t> payload,
                                       IpxSocket source_socket = {0x51, 0x00}) {
  std::vector<uint8_t> frame(kGameFrameHeaderSize + payload.size());
  BuildGameFrame(frame, {kTypeGameFrame, sequence, destination_socket, source_socket, payload});
  return frame;
}

// A marked frame: payload bytes 4 to 7 (frame bytes 17 to 20) FF FC 00 FA,
// then the marker's kind.
inline std::vector<uint8_t> MarkerFrame(int32_t sequence, uint8_t kind) {
  return FrameBytes(sequence, {0x51, 0x00}, {0, 0, 0, 0, 0xFF, 0xFC, 0x00, 0xFA, kind, 0});
}

// A simulated driver behind an opened link whose slots go to a forwarder;
// the forwarder's sends are recorded.
struct Harness {
  // send: where the forwarder's datagrams go; empty: into `sent`.
  explicit Harness(ForwarderHooks hooks = {}, SendPacketFunction send = {})
      : link(
            {driver, dialogs, window, profile, addresses},
            [this](PacketSlot slot) { forwarder.ForwardDriverPacket(slot); }, kSendWaitMs),
        forwarder(link, clock, addresses, send ? std::move(send) : sent.Sender(), std::move(hooks)) {
    addresses.local.Store({kLoopback, 2213});
  }
  // The send thread calls the forwarder: stop it before the forwarder goes.
  ~Harness() { link.CloseDriverLink(); }

  SimulatedDriver driver;
  ScriptedDialogs dialogs;
  RecordingWindow window;
  MemoryProfile profile;
  SharedAddresses addresses;
  ManualClock clock;
  SentLog sent;
  DriverLink link;
  GameForwarder forwarder;
};

// A player list's text naming these addresses, as a server sends it.
inline std::string PlayerListText(const std::vector<PeerAddress>& players) {
  std::array<uint8_t, kMaxDatagram> empty{};
  const size_t size = BuildPlayerList(empty, ClientEntries{}, 0);
  std::string text(reinterpret_cast<const char*>(empty.data()) + kFrameSize, size - kFrameSize - 1);
  // A name of more bytes than characters, as the server pads it.
  for (PeerAddress p : players)
    text += Format("%2d J\xc3\xb6rg%s %-15.15s %-5u\n", 1, std::string(11, ' ').c_str(), FormatIp(p.ip).c_str(),
                   unsigned{p.port});
  return text;
}

// Players on 127.0.0.1 at ports first to last, and any others.
inline std::vector<PeerAddress> LoopbackPlayers(uint16_t first, uint16_t last, std::vector<PeerAddress> others = {}) {
  for (uint16_t port = first; port <= last; ++port) others.push_back({kLoopback, port});
  return others;
}
// Makes these addresses players of the server, as its list does: a frame
// from an unknown address makes the gate ask, and the list answers.
inline void ListPlayers(Harness& h, const std::vector<PeerAddress>& players) {
  h.addresses.server.Store({kLoopback, 2213});
  h.forwarder.OnGameFrame(FrameBytes(0, {0x45, 0x00}, {0}), {kLoopback, 65000});
  h.forwarder.TakePlayerList(PlayerListText(players));
}

}  // namespace vorn::ipx_test
