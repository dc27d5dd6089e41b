#pragma once
// What the chat list shows, worked out from a copy of the peer table so the
// window never holds the chat's lock: the channels users are in, and the
// users of one channel as "nickname\taddress" lines.
#include <string>
#include <string_view>
#include <vector>

#include "platform/peer_address.h"

namespace vorn {

struct ChatListPeer {
  std::string nickname;
  std::string channel;
  PeerAddress address;
};

// Every non-empty channel key once (compared ignoring case), in table order.
std::vector<std::string> ChatListChannels(const std::vector<ChatListPeer>& peers);
// The users whose channel equals channel, ignoring case.
std::vector<std::string> ChatListNicknames(const std::vector<ChatListPeer>& peers, std::string_view channel);

}  // namespace vorn
