#pragma once
// Directed game frames and chat packets come straight from their sender, so
// anyone who knows a player's address could put frames into its game or
// speak in its chat. Only players of our server may: the gate learns them
// from the server's relays and, when an unknown address sends, asks the
// server for its player list and holds that sender's frames until the
// answer comes (a real player's first frame arrives late, not never), then
// releases or drops them. Fixed tables and a fixed hold buffer: a flood
// from many addresses costs neither memory nor allocations.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "net/messages.h"
#include "platform/peer_address.h"

namespace vorn {

class PlayerGate {
 public:
  static constexpr size_t kKnownPlayers = 16;
  static constexpr size_t kRefusedSenders = 128;
  static constexpr size_t kHeldFrames = 16;
  // One question to the server at most this often.
  static constexpr int32_t kAskEveryMs = 1000;
  // A held frame older than this is dropped: its answer was lost.
  static constexpr int32_t kHoldMs = 2000;
  // A sender the server did not list is not asked about again this long.
  static constexpr int32_t kRefusedForMs = 10000;

  enum class Verdict { kDeliver, kHeld, kDrop };

  // ask_server sends the player list request to the server; deliver gets
  // held frames once their sender is confirmed.
  using AskServer = std::function<void()>;
  using Deliver = std::function<void(std::span<const uint8_t> frame, PeerAddress sender)>;
  PlayerGate(AskServer ask_server, Deliver deliver);

  // Receive thread, every directed frame. server: the connected server
  // (address 0: none, and then nobody is a player). relayed: the server
  // relayed it, which makes its sender a player. A held frame is copied.
  Verdict Admit(std::span<const uint8_t> frame, PeerAddress sender, bool relayed, PeerAddress server, int32_t now_ms);

  // Receive thread, a text from the server. True when it answered the
  // gate's own question (it is then not shown): the listed players are
  // learnt, held frames of theirs delivered and the others dropped.
  bool TakePlayerList(std::string_view text, int32_t now_ms);

  bool IsPlayer(PeerAddress address) const;
  size_t HeldCount() const;

 private:
  struct Held {
    PeerAddress sender;  // unset: a free slot
    int32_t since_ms = 0;
    uint32_t arrival = 0;  // released in this order
    uint16_t size = 0;
    std::array<uint8_t, kMaxDatagram> bytes{};
  };
  struct Refused {
    PeerAddress sender;
    int32_t since_ms = 0;
  };

  void Forget(PeerAddress server);
  void Learn(PeerAddress player);
  bool IsRefused(PeerAddress sender, int32_t now_ms) const;
  void Refuse(PeerAddress sender, int32_t now_ms);
  Verdict Hold(std::span<const uint8_t> frame, PeerAddress sender, int32_t now_ms);
  void DropStaleHeld(int32_t now_ms);
  void ReleaseHeld();

  AskServer ask_server_;
  Deliver deliver_;
  PeerAddress server_;
  std::array<PeerAddress, kKnownPlayers> known_{};
  size_t next_known_ = 0;
  std::array<Refused, kRefusedSenders> refused_{};
  size_t next_refused_ = 0;
  std::array<Held, kHeldFrames> held_{};
  // Every unknown sender since the question, held or not: the answer
  // refuses them all at once, so a flood from many ports is asked about once.
  std::array<PeerAddress, kRefusedSenders> asked_about_{};
  size_t asked_about_count_ = 0;
  uint32_t arrivals_ = 0;
  bool asked_ = false;
  int32_t asked_ms_ = 0;
};

}  // namespace vorn
