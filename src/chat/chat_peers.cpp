#include "chat/chat_peers.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace vorn {

void ChatName::Assign(std::string_view text) {
  // Cut between characters: the name is shown, not only compared.
  text = Truncate(text, chars_.size());
  length_ = text.size();
  if (length_) std::memcpy(chars_.data(), text.data(), length_);
}

ChatPeerTable::ChatPeerTable() { peers_[kRelayPeer].address = kRelayAddress; }

void ChatPeerTable::Reset(PeerAddress local, std::string_view nickname, std::string_view channel) {
  peers_.fill(ChatPeer{});
  peers_[kLocalPeer].address = local;
  peers_[kLocalPeer].nickname.Assign(nickname);
  peers_[kLocalPeer].channel.Assign(channel);
  peers_[kRelayPeer].address = kRelayAddress;
}

PeerLookup ChatPeerTable::FindOrAddChatPeer(PeerAddress sender, std::string_view channel, std::string_view nickname) {
  PeerLookup lookup;
  for (int i = kLocalPeer; i <= kLastOtherPeer && lookup.index < 0; ++i) {
    if (peers_[static_cast<size_t>(i)].address == sender) lookup.index = i;
  }
  // The local user's entry is never handed to a sender, even while its
  // own address is still unknown.
  for (int i = kLocalPeer + 1; i <= kLastOtherPeer && lookup.index < 0; ++i) {
    ChatPeer& peer = peers_[static_cast<size_t>(i)];
    if (!peer.IsFree()) continue;
    peer = ChatPeer{};
    peer.address = sender;
    lookup.index = i;
    lookup.is_new = true;
  }
  if (lookup.index <= kLocalPeer) return lookup;
  ChatPeer& peer = peers_[static_cast<size_t>(lookup.index)];
  lookup.channel_changed = !EqualsIgnoreCase(peer.channel.view(), channel);
  lookup.nick_changed = !EqualsIgnoreCase(peer.nickname.view(), nickname);
  peer.channel.Assign(channel);
  peer.nickname.Assign(nickname);
  return lookup;
}

int ChatPeerTable::FindOther(PeerAddress address) const {
  for (int i = kLocalPeer + 1; i <= kLastOtherPeer; ++i) {
    if (peers_[static_cast<size_t>(i)].address == address) return i;
  }
  return -1;
}

bool ChatPeerTable::HasAcknowledged(PeerAddress address) const {
  int index = FindOther(address);
  return index > 0 && peers_[static_cast<size_t>(index)].acknowledged;
}

ChatTarget ChatPeerTable::ResolveTarget(std::string_view name) const {
  if (name.empty()) return {TargetStatus::kUnknownUser, -1};
  for (int i = kLocalPeer; i <= kLastOtherPeer; ++i) {
    if (EqualsIgnoreCase(peers_[static_cast<size_t>(i)].nickname.view(), name)) return {TargetStatus::kFound, i};
  }
  if (name[0] != '#') return {TargetStatus::kUnknownUser, -1};
  int32_t node = ParseDecimal(name.substr(1));
  if (node < kLocalPeer || node > kLastOtherPeer || peers_[static_cast<size_t>(node)].nickname.empty()) {
    return {TargetStatus::kNoSuchNode, -1};
  }
  return {TargetStatus::kFound, node};
}

}  // namespace vorn
