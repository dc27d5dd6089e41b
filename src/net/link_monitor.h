#pragma once
// The links of this node to the peers its game frames go to and come from:
// each is probed once a second (the capability announcement, the round
// trip, and how many game datagrams arrived), and loss protection is
// decided per link: a protected link gets a second datagram after every
// game datagram, and only ever toward a peer that announced that it drops
// exact repeats: a parity of it and the one before where the peer decodes
// parities (net/parity.h), else a plain copy.
//
// Threads: the send paths (driver send thread, receive thread for the
// server's relay) count and ask whether to copy; the receive thread counts
// arrivals and takes the probes; the UI thread ticks and reads reports.
// One mutex guards the fixed table; nothing allocates on a packet path.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "net/link_probe.h"
#include "net/link_stats.h"
#include "net/parity.h"
#include "net/peer_capabilities.h"
#include "net/shared_addresses.h"
#include "platform/clock.h"
#include "platform/peer_address.h"
#include "platform/rate_limit.h"
#include "settings/app_settings.h"

namespace vorn {

// One link as the UI and vornd show it.
struct LinkReport {
  PeerAddress peer;
  bool answers = false;     // the peer answered a probe: a Vorn node
  bool protecting = false;  // copies go out now
  int32_t rtt_ms = 0;
  int32_t jitter_ms = 0;
  double loss_percent = 0;  // toward the peer, over the last half minute
  uint64_t sent = 0;        // game datagrams, copies included
  uint64_t received = 0;
  std::vector<LinkSecond> history;  // oldest first, up to a minute
};

class LinkMonitor {
 public:
  static constexpr size_t kMaxLinks = 16;
  static constexpr int32_t kProbePeriodMs = 1000;
  static constexpr int32_t kIdleMs = 10'000;  // a link without traffic this long is not probed
  // Answers to anyone who asks: no larger than the question, and bounded.
  static constexpr AnswerLimits kAnswerLimits{8 * kLinkProbeSize, 10'000, {64, 64}};

  using SendFunction = std::function<int(PeerAddress to, std::span<const uint8_t> datagram)>;
  using OwnFlags = std::function<uint32_t()>;
  // Called on a packet path when traffic starts after the monitor went
  // idle: the owner starts ticking again (and stops when Tick says so).
  using WakeFunction = std::function<void()>;

  LinkMonitor(
      const Clock& clock, const SharedAddresses& addresses, PeerCapabilities& capabilities, SendFunction send,
      OwnFlags own_flags, WakeFunction wake = [] {});

  // Any thread.
  void SetMode(LossProtection mode);
  LossProtection mode() const { return mode_.load(std::memory_order_relaxed); }

  // A parity covers only a datagram sent this recently before it.
  static constexpr int32_t kCodingSpanMs = 100;

  // What follows a game datagram on its link.
  enum class Second { kNone, kCopy, kParity };
  // Packet paths: the game datagram head+tail is about to go to peer.
  // Counts it (and its second) as sent; a parity is written into parity
  // (kMaxParitySize bytes), its size into parity_size.
  Second SecondFor(PeerAddress peer, std::span<const uint8_t> head, std::span<const uint8_t> tail,
                   std::span<uint8_t> parity, size_t& parity_size);
  // Receive thread: a datagram rebuilt from one of peer's parities is
  // about to be counted as received; it did not cross the link.
  void NoteRebuilt(PeerAddress peer);
  // Receive thread: a game datagram arrived from peer (as the network
  // delivered it: the server for its relays). Answers whether frames
  // overtaken on the way from peer are still taken: only from a Vorn node
  // and with protection not off, so a peer that follows the protocol is
  // filtered as it expects.
  bool NoteReceived(PeerAddress peer);

  // Receive thread: the handler of "VORN+".
  void OnLinkProbe(std::span<const uint8_t> datagram, PeerAddress sender);
  // UI thread, every kProbePeriodMs: probes the links with recent traffic.
  // False once no link had any for kIdleMs: ticking may stop until the
  // wake function is called.
  bool Tick();
  // UI thread: every link with traffic in the last minute.
  std::vector<LinkReport> Reports() const;
  // One link's report; answers false when the peer has none.
  bool Report(PeerAddress peer, LinkReport& out) const;

 private:
  struct Link {
    PeerAddress peer;  // unset: free
    int32_t last_traffic_ms = 0;
    uint32_t sent = 0;  // datagrams, modulo 2^32
    uint32_t received = 0;
    bool answers = false;
    bool drops_repeats = false;
    bool decodes_parity = false;
    bool automatic_on = false;
    bool protecting = false;
    bool waiting = false;  // a question is out
    uint32_t question = 0;
    int32_t question_ms = 0;
    uint32_t sent_at_question = 0;
    bool has_baseline = false;
    uint32_t base_sent = 0;
    uint32_t base_received = 0;
    LinkStats stats;
    // The last game datagram sent, which the next parity covers.
    uint16_t coded_size = 0;  // 0: none
    int32_t coded_ms = 0;
    std::array<uint8_t, kMaxCodedSize> coded;
  };

  bool IsSelf(PeerAddress peer) const;
  Link* FindLocked(PeerAddress peer);
  const Link* FindLocked(PeerAddress peer) const;
  Link& TakeLocked(PeerAddress peer, int32_t now_ms);
  void UpdateProtectionLocked(Link& link) const;
  Second CodeLocked(Link& link, std::span<const uint8_t> head, std::span<const uint8_t> tail, std::span<uint8_t> parity,
                    size_t& parity_size, int32_t now);
  void Answer(const LinkProbe& question, PeerAddress sender);
  void TakeAnswer(const LinkProbe& answer, PeerAddress sender);
  void Send(PeerAddress to, const LinkProbe& probe) const;
  void Wake();
  static LinkReport ReportOf(const Link& link);

  const Clock& clock_;
  const SharedAddresses& addresses_;
  PeerCapabilities& capabilities_;
  SendFunction send_;
  OwnFlags own_flags_;
  WakeFunction wake_;
  std::atomic<bool> awake_{false};
  std::atomic<LossProtection> mode_{LossProtection::kAutomatic};
  mutable std::mutex mutex_;
  std::array<Link, kMaxLinks> links_{};
  // Some busy link of this node is protected by Automatic.
  bool lossy_ = false;
  uint32_t next_question_;
  SourceLimiter answers_{kAnswerLimits};  // receive thread only
};

}  // namespace vorn
