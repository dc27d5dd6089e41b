#pragma once
// What the connection asks of subsystems that join the node later: the
// DirectPlay bridge, chat mode, the driver link and the running game. Each
// hook does nothing (or reports no game) until the node fills it in.
#include <functional>
#include <string_view>

#include "net/game_info.h"

namespace vorn {

struct ConnectionHooks {
  // Before leaving a server.
  std::function<void()> stop_direct_play_bridge = [] {};
  std::function<void()> leave_chat_mode = [] {};
  // The driver works with the own address, so it is reopened when that
  // changes.
  std::function<void()> close_driver_link = [] {};
  std::function<void()> open_driver_link = [] {};
  // The receive thread, for every ping from the server.
  GameInfoQuery query_game_info = [] { return GameInfo{}; };
  // The receive thread, for every text from the connected server: true
  // when it answered a question of the node's own and is not to be shown.
  std::function<bool(std::string_view text)> take_server_text = [](std::string_view) { return false; };
};

}  // namespace vorn
