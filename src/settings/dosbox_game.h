#pragma once
// Games that run in DOSBox: the driver's port setting, finding the emulator,
// and the configuration Vorn writes for each start. The configuration turns
// IPX on and has an autoexec that mounts the game's folder as C:, connects
// IPX to this node's DOSBox port and starts the game, so that a DOS game
// plays through Vorn in one click. It is Vorn's own file: the user's own
// configuration is only ever read.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"
#include "settings/user_games.h"

namespace vorn {

inline constexpr uint16_t kDefaultDosboxPort = 10213;
inline constexpr std::string_view kDosboxPortKey = "DOSBox Port";  // section "Misc"

// The DOSBox driver's port: off for an empty text or "0"; on with port 0
// when the text is no port from 1 to 65535.
struct DosboxPortSetting {
  bool on = false;
  uint16_t port = 0;
};
DosboxPortSetting ParseDosboxPort(std::string_view text);
// "Misc"/"DOSBox Port", or fallback when the key is not there.
DosboxPortSetting ReadDosboxPort(Profile& profile, std::string_view fallback);

// The emulators looked for in PATH, in this order.
inline constexpr std::string_view kDosboxNames[] = {"dosbox", "dosbox-staging", "dosbox-x"};

// user_path when set (it must be an executable file), otherwise the first
// of kDosboxNames in the directories of path_env. nullopt with the reason,
// in words, in why.
std::optional<std::string> FindDosbox(std::string_view user_path, std::string_view path_env, std::string& why);

// Vorn's configuration for game: IPX on, the game's extra settings, and the
// autoexec. nullopt with why when the game cannot be written into one (no
// folder, a program outside it, a character DOSBox cannot take).
std::optional<std::string> DosboxConfigText(const UserGame& game, uint16_t ipx_port, std::string& why);

// What a DOSBox game needs to start: the configuration written to
// config_path, then the emulator with the user's configuration (if any)
// and Vorn's. Runs in the game's folder.
struct DosboxStart {
  std::vector<std::string> argv;
  std::string directory;
};
std::optional<DosboxStart> PrepareDosboxGame(const UserGame& game, const std::string& dosbox, uint16_t ipx_port,
                                             const std::string& config_path, std::string& why);

}  // namespace vorn
