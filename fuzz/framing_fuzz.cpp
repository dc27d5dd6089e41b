// The frame rules over arbitrary received bytes, from each kind of sender:
// the proxy, the server, a stranger, and with neither configured.
#include "fuzz_support.h"
#include "net/framing.h"

using namespace vorn;

namespace {

constexpr PeerAddress kProxy{0x0A000001, 3213};
constexpr PeerAddress kServer{0x0A000002, 2213};
constexpr PeerAddress kStranger{0x0A000003, 2213};

bool IsWrap(std::span<const uint8_t> datagram) {
  return IsVornFrame(datagram) && datagram[kTypeOffset] == kTypeProxyWrap;
}

void CheckFramed(std::span<const uint8_t> input, PeerAddress from, PeerAddress proxy, PeerAddress server) {
  std::optional<Framed> framed = FrameDatagram(input, from, proxy, server);
  if (!framed) {
    // Only a wrap is ever dropped once it carries the frame.
    fuzz::Check(!IsVornFrame(input) || IsWrap(input));
    return;
  }
  // What goes on is framed, never a wrap, and a tail of what came in.
  fuzz::Check(IsVornFrame(framed->datagram) && !IsWrap(framed->datagram));
  fuzz::CheckWithin(framed->datagram, input);
  fuzz::Check(framed->datagram.data() + framed->datagram.size() == input.data() + input.size());
  if (!IsWrap(input)) {
    fuzz::Check(framed->datagram.size() == input.size() && framed->source == from);
    return;
  }
  // A wrap from anyone but the proxy or the server is one deep and says who
  // sent it; theirs are at most two deep.
  const size_t removed = input.size() - framed->datagram.size();
  const bool trusted = (proxy.IsSet() && from == proxy) || (server.IsSet() && from == server);
  fuzz::Check(trusted != framed->via.IsSet());
  if (!trusted) {
    fuzz::Check(framed->via == from && removed == kWrapHeaderSize && !framed->relayed);
    return;
  }
  fuzz::Check(removed == kWrapHeaderSize || (removed == 2 * kWrapHeaderSize && from == proxy));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::span<const uint8_t> input(data, size);
  for (PeerAddress from : {kProxy, kServer, kStranger}) CheckFramed(input, from, kProxy, kServer);
  CheckFramed(input, kProxy, PeerAddress{}, PeerAddress{});
  return 0;
}
