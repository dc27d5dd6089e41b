#pragma once
// The game now running on this machine, as the driver reports it: a name of
// at most 8 characters and its IPX socket as the two bytes that travel.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace vorn {

struct GameInfo {
  std::string name = "Vorn95";                   // at most 8 characters
  std::array<uint8_t, 2> socket = {0x27, 0x8E};  // network order; 27 8E: no game
};

// Asks the driver which game runs (and refreshes the local server's entry 0).
// Until the IPX bridge plugs in, nothing runs.
using GameInfoQuery = std::function<GameInfo()>;

}  // namespace vorn
