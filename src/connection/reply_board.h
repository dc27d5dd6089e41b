#pragma once
// What the receive thread tells the connection procedures on the UI thread:
// the last answer code, the address under which the server sees this node,
// and whether a proxy greeting is waiting for its welcome. Whatever goes
// with a code is stored before the code (release), so a reader that has
// seen the code (acquire) sees it complete.
#include <atomic>
#include <cstdint>
#include <optional>

#include "net/shared_addresses.h"
#include "platform/peer_address.h"

namespace vorn {

enum class ServerReply : int {
  kNone = 0,
  kByeAcknowledged = 1,
  kAccepted = 2,
  kNicknameRejected = 3,
  kSubnetFull = 5,
  kVersionDiffers = 6,
  kProxyWelcome = 10,
};

// The acceptance as it arrived: its length, the address it reported when it
// was long enough to carry one (address 0 otherwise), and where it came from.
struct ObservedAcceptance {
  PeerAddress address;
  uint16_t length = 0;
  PeerAddress source;
};

class ReplyBoard {
 public:
  ServerReply Reply() const { return reply_.load(std::memory_order_acquire); }
  // Clears the code and names who may answer next: the address being
  // greeted or left. Nobody (address 0) while no greeting or bye waits.
  void Reset(PeerAddress answerer = {}) {
    answerer_.Store(answerer);
    reply_.store(ServerReply::kNone, std::memory_order_release);
  }
  // Acceptances and refusals move the own address and end greetings, so
  // only the one asked may give them: from the port it was asked at. A host
  // with several addresses answers from whichever its kernel picks, so the
  // address itself may differ.
  bool IsAnswerer(PeerAddress source) const {
    const PeerAddress answerer = answerer_.Load();
    return source.IsSet() && answerer.IsSet() && source.port == answerer.port;
  }
  void Post(ServerReply reply) { reply_.store(reply, std::memory_order_release); }

  // The receive thread: the acceptance's address and source first, then the code.
  void PostAcceptance(std::optional<PeerAddress> address, size_t length, PeerAddress source);
  ObservedAcceptance Observed() const;

  // A proxy welcome is taken once, and only while the greeting waits.
  void ExpectProxyWelcome(bool expected) { proxy_welcome_expected_.store(expected, std::memory_order_release); }
  bool TakeProxyWelcomeExpectation() { return proxy_welcome_expected_.exchange(false, std::memory_order_acq_rel); }

 private:
  std::atomic<ServerReply> reply_{ServerReply::kNone};
  // Address (32 bits), port (16) and length (16) in one word, so a second
  // acceptance can never leave the address of one with the length of another.
  std::atomic<uint64_t> observed_{0};
  std::atomic<uint64_t> observed_source_{0};
  std::atomic<bool> proxy_welcome_expected_{false};
  AtomicPeerAddress answerer_;
};

inline void ReplyBoard::PostAcceptance(std::optional<PeerAddress> address, size_t length, PeerAddress source) {
  observed_source_.store(uint64_t{source.ip} << 16 | source.port, std::memory_order_release);
  PeerAddress seen = address.value_or(PeerAddress{});
  uint16_t clamped = length > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(length);
  observed_.store(uint64_t{seen.ip} << 32 | uint64_t{seen.port} << 16 | clamped, std::memory_order_release);
  Post(ServerReply::kAccepted);
}

inline ObservedAcceptance ReplyBoard::Observed() const {
  uint64_t word = observed_.load(std::memory_order_acquire);
  uint64_t source = observed_source_.load(std::memory_order_acquire);
  return {{static_cast<uint32_t>(word >> 32), static_cast<uint16_t>(word >> 16)},
          static_cast<uint16_t>(word),
          {static_cast<uint32_t>(source >> 16), static_cast<uint16_t>(source)}};
}

}  // namespace vorn
