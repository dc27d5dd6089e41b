#include "ipx/player_gate.h"

#include <cstring>
#include <utility>

#include "server/player_tables.h"

namespace vorn {
namespace {

int32_t ElapsedMs(int32_t since_ms, int32_t now_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(since_ms));
}

}  // namespace

PlayerGate::PlayerGate(AskServer ask_server, Deliver deliver)
    : ask_server_(std::move(ask_server)), deliver_(std::move(deliver)) {}

PlayerGate::Verdict PlayerGate::Admit(std::span<const uint8_t> frame, PeerAddress sender, bool relayed,
                                      PeerAddress server, int32_t now_ms) {
  if (server != server_) Forget(server);
  if (!server.IsSet() || !sender.IsSet()) return Verdict::kDrop;
  if (relayed) {
    Learn(sender);
    return Verdict::kDeliver;
  }
  if (IsPlayer(sender)) return Verdict::kDeliver;
  DropStaleHeld(now_ms);
  if (IsRefused(sender, now_ms)) return Verdict::kDrop;
  return Hold(frame, sender, now_ms);
}

PlayerGate::Verdict PlayerGate::Hold(std::span<const uint8_t> frame, PeerAddress sender, int32_t now_ms) {
  if (frame.size() > kMaxDatagram) return Verdict::kDrop;
  bool noted = false;
  for (size_t i = 0; i < asked_about_count_ && !noted; ++i) noted = asked_about_[i] == sender;
  if (!noted && asked_about_count_ < asked_about_.size()) asked_about_[asked_about_count_++] = sender;
  if (!asked_ || ElapsedMs(asked_ms_, now_ms) >= kAskEveryMs) {
    asked_ = true;
    asked_ms_ = now_ms;
    if (ask_server_) ask_server_();
  }
  for (Held& slot : held_) {
    if (slot.sender.IsSet()) continue;
    slot.sender = sender;
    slot.since_ms = now_ms;
    slot.arrival = arrivals_++;
    slot.size = static_cast<uint16_t>(frame.size());
    std::memcpy(slot.bytes.data(), frame.data(), frame.size());
    return Verdict::kHeld;
  }
  return Verdict::kDrop;
}

bool PlayerGate::TakePlayerList(std::string_view text, int32_t now_ms) {
  // A question whose answer was lost does not swallow the user's lists.
  if (asked_ && ElapsedMs(asked_ms_, now_ms) > kHoldMs) asked_ = false;
  if (!asked_) return false;
  std::array<PeerAddress, kKnownPlayers> listed{};
  const std::optional<size_t> count = PlayerListAddresses(text, listed);
  if (!count) return false;
  asked_ = false;
  // The list is the whole truth: whoever left is no player any more.
  known_.fill({});
  for (size_t i = 0; i < *count; ++i) Learn(listed[i]);
  for (size_t i = 0; i < asked_about_count_; ++i)
    if (!IsPlayer(asked_about_[i])) Refuse(asked_about_[i], now_ms);
  asked_about_count_ = 0;
  ReleaseHeld();
  return true;
}

bool PlayerGate::IsPlayer(PeerAddress address) const {
  for (const PeerAddress& known : known_)
    if (known.IsSet() && known == address) return true;
  return false;
}

size_t PlayerGate::HeldCount() const {
  size_t count = 0;
  for (const Held& slot : held_) count += slot.sender.IsSet() ? 1 : 0;
  return count;
}

void PlayerGate::Forget(PeerAddress server) {
  server_ = server;
  known_.fill({});
  refused_.fill({});
  for (Held& slot : held_) slot.sender = {};
  asked_about_count_ = 0;
  asked_ = false;
}

void PlayerGate::Learn(PeerAddress player) {
  if (IsPlayer(player)) return;
  known_[next_known_] = player;
  next_known_ = (next_known_ + 1) % known_.size();
}

bool PlayerGate::IsRefused(PeerAddress sender, int32_t now_ms) const {
  for (const Refused& entry : refused_)
    if (entry.sender.IsSet() && entry.sender == sender && ElapsedMs(entry.since_ms, now_ms) < kRefusedForMs)
      return true;
  return false;
}

void PlayerGate::Refuse(PeerAddress sender, int32_t now_ms) {
  refused_[next_refused_] = {sender, now_ms};
  next_refused_ = (next_refused_ + 1) % refused_.size();
}

// The players' frames in the order they came; the others are dropped.
void PlayerGate::ReleaseHeld() {
  for (;;) {
    Held* first = nullptr;
    for (Held& slot : held_)
      if (slot.sender.IsSet() && (!first || slot.arrival - first->arrival > UINT32_MAX / 2)) first = &slot;
    if (!first) return;
    const PeerAddress sender = std::exchange(first->sender, PeerAddress{});
    if (IsPlayer(sender) && deliver_) deliver_(std::span(first->bytes).first(first->size), sender);
  }
}

void PlayerGate::DropStaleHeld(int32_t now_ms) {
  for (Held& slot : held_)
    if (slot.sender.IsSet() && ElapsedMs(slot.since_ms, now_ms) >= kHoldMs) slot.sender = {};
}

}  // namespace vorn
