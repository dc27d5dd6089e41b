#include "net/parity_decoder.h"

#include <algorithm>
#include <utility>

#include "net/messages.h"

namespace vorn {

namespace {

// What a link codes: game frames and the server's relays of them.
bool IsCoded(std::span<const uint8_t> datagram) {
  if (datagram.empty() || datagram.size() > kMaxCodedSize || !IsVornFrame(datagram)) return false;
  const char type = static_cast<char>(datagram[kTypeOffset]);
  return type == kTypeGameFrame || type == kTypeBroadcastFrame || type == kTypeProxyWrap;
}

}  // namespace

ParityDecoder::ParityDecoder(AcceptsFunction accepts, RebuiltFunction rebuilt)
    : accepts_(std::move(accepts)), rebuilt_(std::move(rebuilt)), links_(kMaxLinks) {}

ParityDecoder::Link* ParityDecoder::Find(PeerAddress peer) {
  auto it = std::find_if(links_.begin(), links_.end(), [&](const Link& l) { return l.peer == peer; });
  return it == links_.end() ? nullptr : &*it;
}

// A free place, else the link used longest ago.
ParityDecoder::Link& ParityDecoder::Take(PeerAddress peer) {
  Link* link = Find(peer);
  if (link == nullptr) {
    link = &links_[0];
    for (Link& other : links_) {
      if (!other.peer.IsSet()) {
        link = &other;
        break;
      }
      if (other.last_use < link->last_use) link = &other;
    }
    link->peer = peer;
    link->next_kept = link->next_waiting = 0;
    for (Kept& kept : link->kept) kept.size = 0;
    for (Waiting& waiting : link->waiting) waiting.used = false;
  }
  link->last_use = ++uses_;
  return *link;
}

const ParityDecoder::Kept* ParityDecoder::FindKept(const Link& link, uint32_t hash) {
  auto it = std::find_if(link.kept.begin(), link.kept.end(),
                         [&](const Kept& k) { return k.size != 0 && k.hash == hash; });
  return it == link.kept.end() ? nullptr : &*it;
}

void ParityDecoder::Keep(Link& link, std::span<const uint8_t> datagram, uint32_t hash) {
  Kept& kept = link.kept[link.next_kept];
  link.next_kept = (link.next_kept + 1) % kKept;
  kept.size = static_cast<uint16_t>(datagram.size());
  kept.hash = hash;
  std::copy(datagram.begin(), datagram.end(), kept.bytes.begin());
}

void ParityDecoder::Note(std::span<const uint8_t> datagram, PeerAddress link) {
  Link* found = Find(link);
  if (found == nullptr || !IsCoded(datagram)) return;
  const uint32_t hash = ParityHash(datagram);
  if (FindKept(*found, hash) != nullptr) return;  // a duplicate, or rebuilt before it came
  Keep(*found, datagram, hash);
  Unlock(*found, hash);
}

bool ParityDecoder::OnParity(std::span<const uint8_t> datagram, PeerAddress link) {
  if (!link.IsSet() || !accepts_(link)) return false;
  const std::optional<ParityView> parity = ParseParity(datagram);
  if (!parity) return false;
  Link& state = Take(link);
  uint32_t rebuilt = 0;
  const Use use = TryUse(state, parity->older, parity->newer, parity->coded, rebuilt);
  if (use == Use::kWait) Wait(state, *parity);
  if (use == Use::kRebuilt) Unlock(state, rebuilt);
  return true;
}

// With one half kept, the other is the parity XOR that half. A result that
// does not match its hash (or is no game datagram) is dropped.
ParityDecoder::Use ParityDecoder::TryUse(Link& link, ParityHalf older, ParityHalf newer,
                                         std::span<const uint8_t> coded, uint32_t& rebuilt_hash) {
  const Kept* old_kept = FindKept(link, older.hash);
  const Kept* new_kept = FindKept(link, newer.hash);
  if ((old_kept != nullptr) == (new_kept != nullptr)) return old_kept != nullptr ? Use::kDone : Use::kWait;
  const Kept& known = old_kept != nullptr ? *old_kept : *new_kept;
  const ParityHalf missing = old_kept != nullptr ? newer : older;
  if (known.size != (old_kept != nullptr ? older.size : newer.size)) return Use::kDone;
  const std::span<uint8_t> out = std::span(scratch_).first(missing.size);
  for (size_t i = 0; i < out.size(); ++i) out[i] = coded[i] ^ (i < known.size ? known.bytes[i] : uint8_t{0});
  if (ParityHash(out) != missing.hash || !IsCoded(out)) return Use::kDone;
  Keep(link, out, missing.hash);
  rebuilt_(out, link.peer);
  rebuilt_hash = missing.hash;
  return Use::kRebuilt;
}

void ParityDecoder::Wait(Link& link, const ParityView& parity) {
  Waiting& waiting = link.waiting[link.next_waiting];
  link.next_waiting = (link.next_waiting + 1) % kWaiting;
  waiting.used = true;
  waiting.older = parity.older;
  waiting.newer = parity.newer;
  waiting.size = static_cast<uint16_t>(parity.coded.size());
  std::copy(parity.coded.begin(), parity.coded.end(), waiting.coded.begin());
}

// A datagram just kept may complete waiting parities, whose results may
// complete more: each step takes one waiting parity, so it ends.
void ParityDecoder::Unlock(Link& link, uint32_t hash) {
  std::array<uint32_t, kWaiting + 1> known{hash};
  size_t count = 1;
  while (count > 0) {
    const uint32_t next = known[--count];
    for (Waiting& waiting : link.waiting) {
      if (!waiting.used || (waiting.older.hash != next && waiting.newer.hash != next)) continue;
      waiting.used = false;
      uint32_t rebuilt = 0;
      if (TryUse(link, waiting.older, waiting.newer, std::span(waiting.coded).first(waiting.size), rebuilt) ==
              Use::kRebuilt &&
          count < known.size())
        known[count++] = rebuilt;
    }
  }
}

}  // namespace vorn
