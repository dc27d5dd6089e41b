// Parities between two Vorn nodes: the decoder rebuilds a lost game
// datagram from either parity that covers it (also through a parity that
// had to wait for its other half), and rebuilds nothing from a parity that
// does not match or that a stranger sent.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/messages.h"
#include "net/parity_decoder.h"

namespace vorn {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr PeerAddress kLink{0x7F000001, 4000};
constexpr PeerAddress kStranger{0x7F000001, 4001};

// Game frame n, of lengths that differ so that padding is exercised.
Bytes Frame(int n) {
  Bytes out(kMaxDatagram);
  const std::string text(static_cast<size_t>(n * 7), static_cast<char>('a' + n));
  const std::span<const uint8_t> payload(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  out.resize(BuildGameFrame(out, {kTypeGameFrame, n, {0x45, 0x60}, {0x45, 0x60}, payload}));
  return out;
}

// The parity of frame n and the one before it.
Bytes Parity(int n) {
  Bytes out(kMaxParitySize);
  out.resize(BuildParity(out, Frame(n - 1), Frame(n), {}));
  return out;
}

// What arrives, in order: frame n (n > 0), parity n (-n), or parity n
// with a broken coded byte (-100 - n).
struct Case {
  const char* name;
  std::vector<int> arrivals;
  std::vector<int> rebuilt;
  PeerAddress from = kLink;
};

TEST(ParityDecoder, RebuildsALostDatagramFromEitherParityAndNothingElse) {
  const Case cases[] = {
      {"from the parity right after it", {1, -2, 3}, {2}},
      {"from the next parity", {1, 3, -3}, {2}},
      {"through a parity that waited", {1, -3, 4, -4}, {3, 2}},
      {"nothing where both halves came", {1, 2, -2}, {}},
      {"nothing from a broken parity", {1, -102}, {}},
      {"nothing from a stranger", {1, -2}, {}, kStranger},
  };
  for (const Case& c : cases) {
    std::vector<Bytes> rebuilt;
    ParityDecoder decoder([](PeerAddress link) { return link == kLink; },
                          [&](std::span<const uint8_t> d, PeerAddress link) {
                            EXPECT_EQ(link, c.from);
                            rebuilt.emplace_back(d.begin(), d.end());
                          });
    // A link's datagrams are kept from its first parity on.
    decoder.OnParity(Parity(10), c.from);
    for (int n : c.arrivals) {
      if (n > 0) {
        decoder.Note(Frame(n), c.from);
        continue;
      }
      Bytes parity = Parity(n < -100 ? -n - 100 : -n);
      if (n < -100) parity.back() ^= 1;
      EXPECT_EQ(decoder.OnParity(parity, c.from), c.from == kLink) << c.name;
    }
    std::vector<Bytes> expected;
    for (int n : c.rebuilt) expected.push_back(Frame(n));
    EXPECT_EQ(rebuilt, expected) << c.name;
  }
}

}  // namespace
}  // namespace vorn
