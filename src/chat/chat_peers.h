#pragma once
// The chat users this side knows: entry 0 is the local user, 1 to 99 the
// others as their packets arrive, 100 stands for everybody through the
// server. A full table refuses new users instead of growing.
#include <array>
#include <cstdint>
#include <string_view>

#include "chat/chat_packet.h"
#include "chat/resend_timer.h"
#include "platform/peer_address.h"

namespace vorn {

// A nickname or channel key of at most 15 characters, without allocating:
// the receive path copies these from every packet.
class ChatName {
 public:
  ChatName() = default;
  explicit ChatName(std::string_view text) { Assign(text); }
  void Assign(std::string_view text);
  void Clear() { length_ = 0; }
  std::string_view view() const { return {chars_.data(), length_}; }
  bool empty() const { return length_ == 0; }

 private:
  std::array<char, kChatNameMax> chars_{};
  size_t length_ = 0;
};

struct ChatPeer {
  PeerAddress address;  // ip 0: free; 0xFFFFFFFF: everybody
  ChatName nickname;
  ChatName channel;                // the channel key the user is in now
  int16_t offered_file_index = 0;  // the offered file this user fetches
  uint32_t bytes_sent = 0;         // offset of the next fragment to it; 0: none
  // Its last fragment waits for the user's outstanding acknowledgements.
  bool fragment_held = false;
  // The serial of the fragment in flight to it: only that fragment's
  // acknowledgement sends the next one, so a late acknowledgement from an
  // earlier transfer never puts a second fragment in flight.
  uint32_t fragment_serial = 0;
  // The transfer to it keeps many fragments in flight (both sides said so
  // when it began); any acknowledgement of a fragment from first_serial on
  // belongs to it.
  bool windowed = false;
  uint32_t first_serial = 0;
  int32_t upload_start_ms = 0;
  RoundTripEstimator round_trip;
  // It has acknowledged one of our packets: until then it may not be there
  // at all, or its address was forged, and a packet to it is resent once.
  bool acknowledged = false;

  bool IsFree() const { return address.ip == 0 && address.port == 0; }
};

inline constexpr int kLocalPeer = 0;
inline constexpr int kLastOtherPeer = 99;
inline constexpr int kRelayPeer = 100;
inline constexpr size_t kChatPeerCount = 101;
inline constexpr PeerAddress kRelayAddress{0xFFFFFFFF, 0xFFFF};

struct PeerLookup {
  int index = -1;  // -1 when the table is full
  bool is_new = false;
  bool channel_changed = false;
  bool nick_changed = false;
};

enum class TargetStatus { kFound, kUnknownUser, kNoSuchNode };

struct ChatTarget {
  TargetStatus status = TargetStatus::kUnknownUser;
  int index = -1;
};

class ChatPeerTable {
 public:
  ChatPeerTable();

  // Chat mode starts: entry 0 is the local user, 1 to 99 are emptied.
  void Reset(PeerAddress local, std::string_view nickname, std::string_view channel);

  // The sender's entry, added when unknown. Entries other than the local
  // user take the packet's nickname and channel.
  PeerLookup FindOrAddChatPeer(PeerAddress sender, std::string_view channel, std::string_view nickname);

  // An entry 1 to 99 with this address, or -1.
  int FindOther(PeerAddress address) const;
  // Whether the entry with this address has acknowledged anything.
  bool HasAcknowledged(PeerAddress address) const;

  // A user named by nickname (ignoring case) or by '#' and an entry number.
  ChatTarget ResolveTarget(std::string_view name) const;

  void Clear(int index) { peers_[static_cast<size_t>(index)] = ChatPeer{}; }
  ChatPeer& operator[](int index) { return peers_[static_cast<size_t>(index)]; }
  const ChatPeer& operator[](int index) const { return peers_[static_cast<size_t>(index)]; }
  ChatPeer& local() { return peers_[kLocalPeer]; }
  const ChatPeer& local() const { return peers_[kLocalPeer]; }

 private:
  std::array<ChatPeer, kChatPeerCount> peers_{};
};

}  // namespace vorn
