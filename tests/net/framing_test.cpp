#include "net/framing.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "net/messages.h"
#include "platform/byte_io.h"

namespace vorn {
namespace {

const PeerAddress kProxy{0x0A000001, 3213};
const PeerAddress kServer{0x0A000002, 2213};
const PeerAddress kStranger{0x0A000009, 2213};
const PeerAddress kPlayer{0xC0A80005, 2213};

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> Wrap(PeerAddress named, const std::vector<uint8_t>& inner) {
  std::vector<uint8_t> out(kWrapHeaderSize + inner.size());
  out.resize(BuildProxyWrap(out, ProxyWrap{named, inner}));
  return out;
}

std::optional<Framed> Frame(const std::vector<uint8_t>& received, PeerAddress from) {
  return FrameDatagram(received, from, kProxy, kServer);
}

// A parity covers a datagram as its last Vorn node sent it: this node's
// proxy's wrap removed, the server's relay wrap kept.
TEST(FrameDatagram, NamesTheLinkAndWhatItDelivered) {
  const std::vector<uint8_t> frame = Bytes("VORN0sequence-and-sockets");
  const struct {
    std::vector<uint8_t> received;
    PeerAddress from;
    PeerAddress link;
    size_t offset;  // of the link's datagram in received
  } cases[] = {{frame, kPlayer, kPlayer, 0},
               {Wrap(kPlayer, frame), kProxy, kPlayer, kWrapHeaderSize},
               {Wrap(kPlayer, frame), kServer, kServer, 0},
               {Wrap(kServer, Wrap(kPlayer, frame)), kProxy, kServer, kWrapHeaderSize},
               {Wrap(kPlayer, frame), kStranger, kPlayer, kWrapHeaderSize}};
  for (const auto& c : cases) {
    std::optional<Framed> framed = Frame(c.received, c.from);
    ASSERT_TRUE(framed);
    EXPECT_EQ(framed->link, c.link);
    EXPECT_EQ(framed->link_datagram.data(), c.received.data() + c.offset);
    EXPECT_EQ(framed->link_datagram.size(), c.received.size() - c.offset);
  }
}

}  // namespace
}  // namespace vorn
