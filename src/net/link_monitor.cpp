#include "net/link_monitor.h"

#include <algorithm>
#include <random>

namespace vorn {

namespace {

constexpr int32_t kReportMs = 60'000;

int32_t Age(int32_t now_ms, int32_t then_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(then_ms));
}

// Question numbers start somewhere a stranger cannot guess, so that an
// answer forged from off the path does not count.
uint32_t RandomStart() {
  std::random_device device;
  return device();
}

}  // namespace

LinkMonitor::LinkMonitor(const Clock& clock, const SharedAddresses& addresses, PeerCapabilities& capabilities,
                         SendFunction send, OwnFlags own_flags, WakeFunction wake)
    : clock_(clock),
      addresses_(addresses),
      capabilities_(capabilities),
      send_(std::move(send)),
      own_flags_(std::move(own_flags)),
      wake_(std::move(wake)),
      next_question_(RandomStart()) {}

void LinkMonitor::SetMode(LossProtection mode) {
  mode_.store(mode, std::memory_order_relaxed);
  std::lock_guard lock(mutex_);
  for (Link& link : links_) UpdateProtectionLocked(link);
}

// Copies only toward a peer that drops repeats: anyone else would hand the
// same frame to its game twice. A link that carries a few frames a second
// would take most of a minute to show its loss; until it can, it follows
// this node's busier links, which share this node's own connection.
void LinkMonitor::UpdateProtectionLocked(Link& link) const {
  switch (mode_.load(std::memory_order_relaxed)) {
    case LossProtection::kOff:
      link.protecting = false;
      break;
    case LossProtection::kAutomatic:
      link.protecting = link.drops_repeats && (link.automatic_on || (lossy_ && !link.stats.HasEvidence()));
      break;
    case LossProtection::kAlways:
      link.protecting = link.drops_repeats;
      break;
  }
}

bool LinkMonitor::IsSelf(PeerAddress peer) const { return peer == addresses_.local.Load() || !peer.IsSet(); }

LinkMonitor::Link* LinkMonitor::FindLocked(PeerAddress peer) {
  auto it = std::find_if(links_.begin(), links_.end(), [&](const Link& l) { return l.peer == peer; });
  return it == links_.end() ? nullptr : &*it;
}

const LinkMonitor::Link* LinkMonitor::FindLocked(PeerAddress peer) const {
  auto it = std::find_if(links_.begin(), links_.end(), [&](const Link& l) { return l.peer == peer; });
  return it == links_.end() ? nullptr : &*it;
}

// A free place, else the link quiet for longest.
LinkMonitor::Link& LinkMonitor::TakeLocked(PeerAddress peer, int32_t now_ms) {
  if (Link* link = FindLocked(peer)) return *link;
  Link* chosen = &links_[0];
  for (Link& link : links_) {
    if (!link.peer.IsSet()) {
      chosen = &link;
      break;
    }
    if (Age(now_ms, link.last_traffic_ms) > Age(now_ms, chosen->last_traffic_ms)) chosen = &link;
  }
  *chosen = Link{};
  chosen->peer = peer;
  chosen->drops_repeats = capabilities_.Has(peer, capability::kDropsRepeats);
  chosen->decodes_parity = capabilities_.Has(peer, capability::kDecodesParity);
  UpdateProtectionLocked(*chosen);
  return *chosen;
}

LinkMonitor::Second LinkMonitor::SecondFor(PeerAddress peer, std::span<const uint8_t> head,
                                           std::span<const uint8_t> tail, std::span<uint8_t> parity,
                                           size_t& parity_size) {
  parity_size = 0;
  if (IsSelf(peer)) return Second::kNone;
  const int32_t now = clock_.NowMs();
  Second second = Second::kNone;
  {
    std::lock_guard lock(mutex_);
    Link& link = TakeLocked(peer, now);
    link.last_traffic_ms = now;
    ++link.sent;
    if (link.protecting) {
      ++link.sent;
      second = CodeLocked(link, head, tail, parity, parity_size, now);
    } else {
      link.coded_size = 0;
    }
  }
  Wake();
  return second;
}

// The plain copy where no parity can be built: the peer does not decode
// them, the datagram is too long, or the one before it is missing or old.
// The datagram then becomes the one the next parity covers.
LinkMonitor::Second LinkMonitor::CodeLocked(Link& link, std::span<const uint8_t> head, std::span<const uint8_t> tail,
                                            std::span<uint8_t> parity, size_t& parity_size, int32_t now) {
  const size_t size = head.size() + tail.size();
  if (!link.decodes_parity || size == 0 || size > kMaxCodedSize) {
    link.coded_size = 0;
    return Second::kCopy;
  }
  if (link.coded_size != 0 && Age(now, link.coded_ms) <= kCodingSpanMs)
    parity_size = BuildParity(parity, std::span(link.coded).first(link.coded_size), head, tail);
  std::copy(head.begin(), head.end(), link.coded.begin());
  std::copy(tail.begin(), tail.end(), link.coded.begin() + static_cast<std::ptrdiff_t>(head.size()));
  link.coded_size = static_cast<uint16_t>(size);
  link.coded_ms = now;
  return parity_size > 0 ? Second::kParity : Second::kCopy;
}

// Once per idle spell, not per packet.
void LinkMonitor::Wake() {
  if (!awake_.exchange(true, std::memory_order_acq_rel)) wake_();
}

void LinkMonitor::NoteRebuilt(PeerAddress peer) {
  std::lock_guard lock(mutex_);
  if (Link* link = FindLocked(peer)) --link->received;
}

// Our own relay (the host's player) drops repeats as we do.
bool LinkMonitor::NoteReceived(PeerAddress peer) {
  if (IsSelf(peer)) return peer.IsSet() && mode_.load(std::memory_order_relaxed) != LossProtection::kOff;
  const int32_t now = clock_.NowMs();
  bool late_ok = false;
  {
    std::lock_guard lock(mutex_);
    Link& link = TakeLocked(peer, now);
    ++link.received;
    link.last_traffic_ms = now;
    late_ok = link.drops_repeats && mode_.load(std::memory_order_relaxed) != LossProtection::kOff;
  }
  Wake();
  return late_ok;
}

// Going idle first and then looking means traffic that comes meanwhile
// either is seen here or wakes the owner again.
bool LinkMonitor::Tick() {
  awake_.store(false, std::memory_order_release);
  const int32_t now = clock_.NowMs();
  std::array<std::pair<PeerAddress, LinkProbe>, kMaxLinks> questions{};
  size_t count = 0;
  {
    std::lock_guard lock(mutex_);
    lossy_ = std::any_of(links_.begin(), links_.end(),
                         [](const Link& l) { return l.peer.IsSet() && l.automatic_on && l.stats.HasEvidence(); });
    for (Link& link : links_) UpdateProtectionLocked(link);
    for (Link& link : links_) {
      if (!link.peer.IsSet() || Age(now, link.last_traffic_ms) > kIdleMs) continue;
      link.waiting = true;
      link.question = next_question_++;
      link.question_ms = now;
      link.sent_at_question = link.sent;
      questions[count++] = {link.peer, LinkProbe{LinkProbeKind::kQuestion, own_flags_(), link.question, link.received}};
    }
  }
  for (size_t i = 0; i < count; ++i) Send(questions[i].first, questions[i].second);
  if (count == 0) return false;
  awake_.store(true, std::memory_order_release);
  return true;
}

void LinkMonitor::OnLinkProbe(std::span<const uint8_t> datagram, PeerAddress sender) {
  const std::optional<LinkProbe> probe = ParseLinkProbe(datagram);
  if (!probe || IsSelf(sender)) return;
  if (probe->kind == LinkProbeKind::kQuestion) {
    Answer(*probe, sender);
  } else {
    TakeAnswer(*probe, sender);
  }
}

// What we received from the asker is all an answer tells; a question
// records nothing, since anyone can forge its source.
void LinkMonitor::Answer(const LinkProbe& question, PeerAddress sender) {
  if (!answers_.Allow(sender, clock_.NowMs(), kLinkProbeSize, kLinkProbeSize)) return;
  LinkProbe answer{LinkProbeKind::kAnswer, own_flags_(), question.number, 0};
  {
    std::lock_guard lock(mutex_);
    if (const Link* link = FindLocked(sender)) answer.received = link->received;
  }
  Send(sender, answer);
}

// Only the answer to the question out to that very peer counts.
void LinkMonitor::TakeAnswer(const LinkProbe& answer, PeerAddress sender) {
  const int32_t now = clock_.NowMs();
  std::lock_guard lock(mutex_);
  Link* link = FindLocked(sender);
  if (link == nullptr || !link->waiting || link->question != answer.number) return;
  capabilities_.Record(sender, answer.capabilities, now);
  link->waiting = false;
  link->answers = true;
  link->drops_repeats = (answer.capabilities & capability::kDropsRepeats) != 0;
  link->decodes_parity = (answer.capabilities & capability::kDecodesParity) != 0;
  link->stats.OnRoundTrip(Age(now, link->question_ms));
  if (link->has_baseline) {
    link->stats.OnInterval(link->sent_at_question - link->base_sent, answer.received - link->base_received,
                           link->protecting);
    link->automatic_on = link->stats.DecideAutomatic(link->automatic_on, now);
  }
  link->has_baseline = true;
  link->base_sent = link->sent_at_question;
  link->base_received = answer.received;
  UpdateProtectionLocked(*link);
}

void LinkMonitor::Send(PeerAddress to, const LinkProbe& probe) const {
  std::array<uint8_t, kLinkProbeSize> datagram{};
  if (BuildLinkProbe(datagram, probe) == datagram.size()) send_(to, datagram);
}

LinkReport LinkMonitor::ReportOf(const Link& link) {
  LinkReport report;
  report.peer = link.peer;
  report.answers = link.answers;
  report.protecting = link.protecting;
  report.rtt_ms = link.stats.rtt_ms();
  report.jitter_ms = link.stats.jitter_ms();
  report.loss_percent = link.stats.LossPercent();
  report.sent = link.sent;
  report.received = link.received;
  std::array<LinkSecond, LinkStats::kHistory> history{};
  report.history.assign(history.begin(), history.begin() + static_cast<std::ptrdiff_t>(link.stats.History(history)));
  return report;
}

std::vector<LinkReport> LinkMonitor::Reports() const {
  const int32_t now = clock_.NowMs();
  std::vector<LinkReport> reports;
  std::lock_guard lock(mutex_);
  for (const Link& link : links_) {
    if (link.peer.IsSet() && Age(now, link.last_traffic_ms) <= kReportMs) reports.push_back(ReportOf(link));
  }
  return reports;
}

bool LinkMonitor::Report(PeerAddress peer, LinkReport& out) const {
  std::lock_guard lock(mutex_);
  const Link* link = FindLocked(peer);
  if (link == nullptr) return false;
  out = ReportOf(*link);
  return true;
}

}  // namespace vorn
