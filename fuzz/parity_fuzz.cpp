// Any bytes as a parity from a link that codes with this node: the parser
// never reads past them, and the decoder, given the link's one game frame
// before and after, rebuilds nothing but a game datagram that matches a
// hash the parity names.
#include <algorithm>

#include "fuzz_support.h"
#include "net/parity_decoder.h"

using namespace vorn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  const std::optional<ParityView> parity = ParseParity(input);
  if (parity) {
    fuzz::CheckWithin(parity->coded, input);
    fuzz::Check(size == kParityHeaderSize + std::max(parity->older.size, parity->newer.size));
  }
  // The seeds' game frame (fuzz/seed_corpus.cpp).
  static const uint8_t kPayload[] = {0x01, 0x00, 0x2A, 0x00, 'h', 'i', 0x00};
  fuzz::Buffer known{};
  const size_t known_size =
      BuildGameFrame(known, {kTypeGameFrame, 42, kChatSocket, kChatSocket, std::span<const uint8_t>(kPayload)});
  const PeerAddress link{0x7F000001, 2213};
  ParityDecoder decoder([](PeerAddress) { return true; },
                        [&](std::span<const uint8_t> rebuilt, PeerAddress from) {
                          fuzz::Check(parity.has_value() && from == link && IsVornFrame(rebuilt));
                          const uint32_t hash = ParityHash(rebuilt);
                          fuzz::Check(hash == parity->older.hash || hash == parity->newer.hash);
                        });
  decoder.OnParity(input, link);
  decoder.Note(std::span(known).first(known_size), link);
  decoder.OnParity(input, link);
  return 0;
}
