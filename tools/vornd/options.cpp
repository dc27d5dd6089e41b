#include "options.h"

#include <algorithm>
#include <array>

#include "common/flags.h"
#include "platform/text.h"
#include "settings/dosbox_game.h"
#include "settings/setting_rules.h"

namespace vorn {

namespace {

struct ValueFlag {
  const char* name;
  std::optional<std::string> VorndOptions::*field;
};

constexpr std::array<ValueFlag, 12> kValueFlags = {{
    {"--dosbox-port", &VorndOptions::dosbox_port},
    {"--stats-file", &VorndOptions::stats_file},
    {"--pcap", &VorndOptions::pcap},
    {"--port", &VorndOptions::port},
    {"--my-ip", &VorndOptions::my_ip},
    {"--nick", &VorndOptions::nick},
    {"--real-name", &VorndOptions::real_name},
    {"--email", &VorndOptions::email},
    {"--tracker", &VorndOptions::tracker},
    {"--proxy", &VorndOptions::proxy},
    {"--windowed-transfers", &VorndOptions::windowed_transfers},
    {"--loss-protection", &VorndOptions::loss_protection},
}};

// The flag's words in the order of the stored numbers.
constexpr std::array<std::string_view, 3> kLossProtectionWords = {"off", "automatic", "always"};

std::optional<size_t> LossProtectionNumber(std::string_view word) {
  auto it = std::find(kLossProtectionWords.begin(), kLossProtectionWords.end(), word);
  if (it == kLossProtectionWords.end()) return std::nullopt;
  return static_cast<size_t>(it - kLossProtectionWords.begin());
}

std::string CheckVorndFlag(std::string_view flag, const std::string& value) {
  if (flag == "--loss-protection" && !LossProtectionNumber(value))
    return "--loss-protection " + value + ": takes off, automatic or always";
  return CheckFlagValue(flag, value);
}

}  // namespace

std::optional<VorndOptions> ParseVorndOptions(const std::vector<std::string>& args, std::string& error) {
  VorndOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg == "--server") {
      options.local_server = true;
      continue;
    }
    if (TakeValue(args, i, "--config", value, error)) {
      options.config_path = value;
    } else if (auto flag = std::find_if(kValueFlags.begin(), kValueFlags.end(),
                                        [&](const ValueFlag& f) { return TakeValue(args, i, f.name, value, error); });
               flag != kValueFlags.end()) {
      options.*(flag->field) = value;
      if (error.empty()) error = CheckVorndFlag(flag->name, value);
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + arg;
    } else if (options.server.empty()) {
      options.server = arg;
    } else {
      error = "more than one server address given";
    }
    if (!error.empty()) return std::nullopt;
  }
  return options;
}

void ApplyOverrides(const VorndOptions& o, OverlayProfile& profile) {
  auto put = [&](const std::optional<std::string>& value, const char* section, const char* key) {
    if (value) profile.Override(section, key, *value);
  };
  put(o.port, "Misc", "Port");
  put(o.my_ip, "Misc", "my_ip");
  put(o.tracker, "Misc", "Tracker");
  put(o.proxy, "Misc", "Proxy");
  put(o.windowed_transfers, "Misc", "Windowed Transfers");
  if (o.loss_protection)
    profile.Override("Misc", "Loss Protection", std::to_string(LossProtectionNumber(*o.loss_protection).value_or(1)));
  put(o.nick, "User Info", "NickName");
  put(o.real_name, "User Info", "RealName");
  put(o.email, "User Info", "email");
}

DosboxPortSetting DosboxPort(const VorndOptions& options, Profile& profile) {
  if (!options.dosbox_port) return ReadDosboxPort(profile, "");
  return {true, ParseDosboxPort(*options.dosbox_port).port};
}

std::string MissingIdentityFlag(Profile& profile) {
  if (profile.GetString("User Info", "NickName", "").empty()) return "--nick";
  if (profile.GetString("User Info", "RealName", "").empty()) return "--real-name";
  if (profile.GetString("User Info", "email", "").empty()) return "--email";
  return {};
}

std::string VorndUsage() {
  return R"(Usage: vornd [OPTIONS] [SERVER]

Runs a Vorn node without a window: it opens the UDP endpoint, prints the
message window's text to standard output and runs until SIGINT or SIGTERM.

SERVER                 a server address (A.B.C.D or A.B.C.D:PORT) to connect
                       to after start-up, as the desktop program's command line

  --server             host a virtual sub-net of up to four players (local
                       server mode); this node's own player takes the first
                       place, as in the desktop program
  --dosbox-port N      run the DOSBox driver on 127.0.0.1 port N, so that DOS
                       games in DOSBox ("ipxnet connect 127.0.0.1 N") play
                       through this node; start DOSBox after vornd has
                       connected; without the flag the profile's
                       "Misc"/"DOSBox Port" (empty or 0: no driver) decides
  --stats-file PATH    with --server: rewrite PATH every 5 s with a JSON
                       document of the players and their counters
  --pcap PATH          write the IPX packets between the DOSBox driver and
                       its game to PATH as a capture file (Ethernet frames
                       carrying IPX, which packet analysers dissect)

Settings come from the desktop program's profile (~/.config/Vorn/vorn95.conf)
or from --config FILE. These flags override them for this run only; nothing
is written back:

  --config FILE        read and write settings in FILE instead
  --port N             local UDP port (profile "Misc"/"Port", default 2213)
  --my-ip A.B.C.D      own address (profile "Misc"/"my_ip"); without it the
                       address is looked up from the host name and interfaces
  --nick NAME          nickname, at most 15 characters, no spaces
  --real-name TEXT     real name
  --email TEXT         e-mail address
  --tracker A.B.C.D[:PORT]  tracker (default port 6666)
  --proxy A.B.C.D[:PORT]    proxy (default port 3213)
  --windowed-transfers 0|1  many file fragments in flight toward other Vorn
                       nodes that announce it (profile "Misc"/"Windowed
                       Transfers", default 1); 0 sends one at a time
  --loss-protection off|automatic|always  send each game frame twice toward
                       Vorn nodes that drop repeats: never, while the link
                       loses more than 0.5% (until it stayed under 0.1% for
                       a minute), or always (profile "Misc"/"Loss
                       Protection", 0, 1 or 2, default 1)
  -h, --help           show this text

Nickname, real name and e-mail must be set, in the profile or by flag.

Lines typed on standard input are what the desktop program's input line
takes: chat commands ("/join #chat", "/msg NICK text", "/help", ...) and chat
lines. Chat text is printed with its window's channel key in front,
"[#chat] ...". "/stats" prints the players, "/links" the round trip, jitter,
loss and protection of each link. SIGINT or SIGTERM says bye to the server
and stops.
)";
}

}  // namespace vorn
