#pragma once
// The command line of vornd.
#include <optional>
#include <string>
#include <vector>

#include "platform/overlay_profile.h"
#include "settings/dosbox_game.h"

namespace vorn {

struct VorndOptions {
  std::string config_path;  // empty: the program's own profile
  std::optional<std::string> port, my_ip, nick, real_name, email, tracker, proxy;
  std::optional<std::string> windowed_transfers;  // "0" or "1"
  std::optional<std::string> loss_protection;     // "off", "automatic" or "always"
  std::optional<std::string> dosbox_port;         // set: run the DOSBox driver on it
  std::optional<std::string> stats_file;          // set: rewrite the host's statistics there
  std::optional<std::string> pcap;                // set: capture the games' IPX packets there
  std::string server;                             // the command line the GUI would get
  bool local_server = false;                      // --server: serve a virtual sub-net
  bool help = false;
};

// Parses argv; on a mistake, also a value that breaks its setting's rule,
// returns nullopt and sets error.
std::optional<VorndOptions> ParseVorndOptions(const std::vector<std::string>& args, std::string& error);

// Puts the flags that name settings over the profile, for this run only.
void ApplyOverrides(const VorndOptions& options, OverlayProfile& profile);

// The DOSBox driver: on with the flag's port, else as the profile's
// "Misc"/"DOSBox Port" says; off when neither is set. Port 0 when the text
// is not a port.
DosboxPortSetting DosboxPort(const VorndOptions& options, Profile& profile);

// The first flag whose setting the profile still lacks ("--nick", ...), or
// an empty text when nickname, real name and e-mail are all there.
std::string MissingIdentityFlag(Profile& profile);

std::string VorndUsage();

}  // namespace vorn
