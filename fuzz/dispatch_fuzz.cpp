// The whole inbound path after the socket: a handler on every type byte
// (unknown ones must never be called) that parses what it gets, wraps
// unwrapped and dispatched again, with and without a probe sink.
#include <algorithm>

#include "fuzz_support.h"
#include "net/dispatch.h"

using namespace vorn;

namespace {

class CheckingSink : public ProbeSink {
 public:
  void OnProbe(std::span<const uint8_t> datagram, PeerAddress, bool is_answer) override {
    fuzz::Check(FindProbe(datagram) == (is_answer ? ProbeForm::kAnswer : ProbeForm::kProbe));
  }
};

// The dispatcher promises each handler at least the minimum length of its
// type; within that promise the matching parser must accept.
void ParseByType(const Dispatcher& dispatcher, std::span<const uint8_t> d) {
  const char type = static_cast<char>(d[kTypeOffset]);
  const size_t minimum = Dispatcher::MinimumLength(type);
  fuzz::Check(IsVornFrame(d) && minimum != 0 && d.size() >= minimum);
  switch (type) {
    case kTypeProxyWrap: {
      auto wrap = ParseProxyWrap(d);
      fuzz::Check(wrap.has_value());
      dispatcher.DispatchDatagram(wrap->inner, wrap->address);
      break;
    }
    case kTypeProxyWelcome: {
      auto welcome = ParseAddressMessage(d);
      fuzz::Check(welcome && welcome->address);
      break;
    }
    case kTypeAccepted:
      fuzz::Check(ParseAddressMessage(d).has_value());
      break;
    case kTypeHello:
      fuzz::Check(ParseHello(d).has_value());
      break;
    case kTypePingRequest:
      fuzz::Check(ParsePingRequest(d).has_value());
      break;
    case kTypePingReply:
      fuzz::Check(ParsePingReply(d).has_value());
      break;
    case kTypeGameFrame:
    case kTypeBroadcastFrame:
      fuzz::Check(ParseGameFrame(d).has_value());
      break;
    case kTypePlayerInfoRequest:
      fuzz::Check(ParsePlayerInfoRequest(d).has_value() == (d.size() >= kPlayerInfoRequestSize));
      fuzz::Check(ParseForwardedPlayerInfo(d).has_value() == (d.size() >= kForwardedPlayerInfoSize));
      break;
    case kTypeText:
    case kTypeTextLine:
    case kTypeServerList:
      fuzz::Check(ParseText(d).has_value());
      break;
    case kTypeLinkProbe: {
      // Whole by its length; only its kind byte may still make it nothing.
      const bool known_kind = d[kFrameSize] == 'q' || d[kFrameSize] == 'a';
      fuzz::Check(ParseLinkProbe(d).has_value() == known_kind);
      break;
    }
    case kTypeParity: {
      // Whole when its two sizes are codable and the larger is its length.
      const auto parity = ParseParity(d);
      const size_t older = d[5] | d[6] << 8, newer = d[11] | d[12] << 8;
      const bool whole = older >= 1 && newer >= 1 && older <= kMaxCodedSize && newer <= kMaxCodedSize &&
                         d.size() == kParityHeaderSize + std::max(older, newer);
      fuzz::Check(parity.has_value() == whole);
      break;
    }
    default:
      fuzz::Check(ParseFrameOnly(d) == type);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxDatagram) return 0;
  const std::span<const uint8_t> input(data, size);
  Dispatcher dispatcher;
  for (int type = 0; type < 256; ++type) {
    dispatcher.SetHandler(static_cast<char>(type),
                          [&dispatcher](std::span<const uint8_t> d, PeerAddress) { ParseByType(dispatcher, d); });
  }
  const PeerAddress source{0x7F000001, 2213};
  dispatcher.DispatchDatagram(input, source);
  CheckingSink sink;
  dispatcher.SetProbeSink(&sink);
  dispatcher.DispatchDatagram(input, source);
  return 0;
}
