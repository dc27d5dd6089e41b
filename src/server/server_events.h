#pragma once
// What a host watches: players joining, leaving and being refused. The
// server calls these after its table's lock is released, from the receive
// thread (greetings, byes) or the UI thread (time-outs); an implementation
// must take both.
#include <array>
#include <string_view>

#include "net/messages.h"
#include "platform/peer_address.h"

namespace vorn {

enum class LeaveReason { kBye, kTimeout };

struct PlayerNote {
  PeerAddress address;
  std::array<char, kNicknameField> nickname{};  // always zero-terminated
  std::string_view Nickname() const { return nickname.data(); }
};

class ServerEvents {
 public:
  virtual ~ServerEvents() = default;
  virtual void OnPlayerJoined(const PlayerNote& player) = 0;
  virtual void OnPlayerLeft(const PlayerNote& player, LeaveReason reason) = 0;
  // why: "server full", "nickname in use", "version ... differs".
  virtual void OnPlayerRefused(const PlayerNote& player, std::string_view why) = 0;
};

}  // namespace vorn
