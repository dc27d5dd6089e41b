#include "connection/client_handlers.h"

#include <array>
#include <optional>
#include <string>

#include "net/messages.h"
#include "platform/text.h"

namespace vorn {

std::string AddressChangedNote(PeerAddress address) {
  return Format("\r\nNote: IP number has been changed to %s:%d\r\n", FormatIp(address.ip).c_str(), address.port);
}

ClientHandlers::ClientHandlers(ReplyBoard& board, SharedAddresses& addresses, const UdpEndpoint& endpoint,
                               MessageWindow& window, Queries& queries, const ConnectionHooks& hooks)
    : board_(board), addresses_(addresses), endpoint_(endpoint), window_(window), queries_(queries), hooks_(hooks) {}

void ClientHandlers::Register(Dispatcher& dispatcher) {
  auto post = [this](ServerReply reply) {
    return [this, reply](std::span<const uint8_t>, PeerAddress source) {
      if (board_.IsAnswerer(source)) board_.Post(reply);
    };
  };
  dispatcher.SetHandler(kTypeAccepted, [this](std::span<const uint8_t> d, PeerAddress s) {
    if (board_.IsAnswerer(s)) OnAccepted(d, s);
  });
  dispatcher.SetHandler(kTypeByeAcknowledged, post(ServerReply::kByeAcknowledged));
  dispatcher.SetHandler(kTypeRejectedNickname, post(ServerReply::kNicknameRejected));
  dispatcher.SetHandler(kTypeRejectedFull, post(ServerReply::kSubnetFull));
  dispatcher.SetHandler(kTypeRejectedVersion, post(ServerReply::kVersionDiffers));
  dispatcher.SetHandler(kTypeProxyWelcome, [this](std::span<const uint8_t> d, PeerAddress s) { OnProxyWelcome(d, s); });
  dispatcher.SetHandler(kTypePingRequest, [this](std::span<const uint8_t> d, PeerAddress s) { ReplyToPing(d, s); });
  auto text = [this](std::string_view line_end) {
    return [this, line_end](std::span<const uint8_t> d, PeerAddress s) {
      if (!queries_.TakeTextFrom(s)) return;
      std::optional<TextMessage> message = ParseText(d);
      if (!message) return;
      if (s == addresses_.server.Load() && hooks_.take_server_text(message->text)) return;
      queries_.PostQueryText(message->text, line_end);
    };
  };
  dispatcher.SetHandler(kTypeText, text(""));
  dispatcher.SetHandler(kTypeTextLine, text("\r\n"));
  dispatcher.SetHandler(kTypeServerList, [this](std::span<const uint8_t> d, PeerAddress s) {
    if (!queries_.TakeServerListFrom(s)) return;
    if (std::optional<TextMessage> message = ParseText(d)) queries_.PostServerList(message->text);
  });
}

void ClientHandlers::OnAccepted(std::span<const uint8_t> datagram, PeerAddress source) {
  std::optional<AddressMessage> message = ParseAddressMessage(datagram);
  if (!message) return;
  board_.PostAcceptance(message->address, datagram.size(), source);
}

// A welcome names the address every later datagram is wrapped for, so one
// forged datagram would hand all of this node's traffic to a stranger: it
// is taken only while a configured proxy's greeting waits for it.
void ClientHandlers::OnProxyWelcome(std::span<const uint8_t> datagram, PeerAddress source) {
  if (!addresses_.proxy.Load().IsSet()) return;
  std::optional<AddressMessage> message = ParseAddressMessage(datagram);
  if (!message || !message->address) return;
  if (!board_.TakeProxyWelcomeExpectation()) return;
  addresses_.proxy.Store(source);
  addresses_.local.Store(*message->address);
  window_.Append(AddressChangedNote(*message->address), MessageClass::Server);
  board_.Post(ServerReply::kProxyWelcome);
}

void ClientHandlers::ReplyToPing(std::span<const uint8_t> datagram, PeerAddress source) {
  const PeerAddress server = addresses_.server.Load();
  if (!server.IsSet() || source != server) return;
  std::optional<PingRequest> request = ParsePingRequest(datagram);
  if (!request) return;
  const GameInfo game = hooks_.query_game_info();
  std::array<uint8_t, kPingSize> reply{};
  const size_t size = BuildPingReply(reply, {game.name, request->time_stamp_ms, game.socket});
  const int whole = static_cast<int>(size);
  for (int sends = 0; sends < kMaxPingReplySends; ++sends) {
    const int sent = endpoint_.SendPacket(server, std::span<const uint8_t>(reply.data(), size));
    if (sent == whole || sent == whole + static_cast<int>(kWrapHeaderSize)) return;
  }
}

}  // namespace vorn
