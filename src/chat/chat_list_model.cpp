#include "chat/chat_list_model.h"

#include <algorithm>

#include "chat/chat_packet.h"
#include "platform/text.h"

namespace vorn {

std::vector<std::string> ChatListChannels(const std::vector<ChatListPeer>& peers) {
  std::vector<std::string> channels;
  for (const ChatListPeer& peer : peers) {
    if (peer.channel.empty()) continue;
    bool listed = std::any_of(channels.begin(), channels.end(),
                              [&](const std::string& c) { return EqualsIgnoreCase(c, peer.channel); });
    if (!listed) channels.push_back(peer.channel);
  }
  return channels;
}

std::vector<std::string> ChatListNicknames(const std::vector<ChatListPeer>& peers, std::string_view channel) {
  std::vector<std::string> lines;
  for (const ChatListPeer& peer : peers) {
    if (EqualsIgnoreCase(peer.channel, channel))
      lines.push_back(peer.nickname + "\t" + FormatPeerAddress(peer.address));
  }
  return lines;
}

}  // namespace vorn
