#pragma once
// What the program remembers between runs about its user and its network
// options, in memory. The settings store fills it from the profile.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/peer_address.h"

namespace vorn {

// Longest texts the settings dialogs accept, in bytes. Texts read from the
// profile are cut to these on load: a hand-edited profile must not overflow
// the fixed-size fields that the greeting and the chat packets carry later.
struct SettingsLimits {
  static constexpr size_t kNickname = 15;
  static constexpr size_t kRealName = 74;
  static constexpr size_t kEmail = 74;
  static constexpr size_t kOther = 74;
  static constexpr size_t kMyIp = 15;
  static constexpr size_t kTracker = 20;
  static constexpr size_t kProxy = 20;
  static constexpr size_t kPort = 5;
};

// Stored as its number under "Misc"/"Loss Protection".
enum class LossProtection : int32_t { kOff = 0, kAutomatic = 1, kAlways = 2 };

struct AppSettings {
  static constexpr int32_t kDefaultUdpPort = 2213;
  static constexpr uint16_t kDefaultTrackerPort = 6666;
  static constexpr uint16_t kDefaultProxyPort = 3213;
  // The built-in tracker text ("127.0.0.2", see built_in_servers.h) parsed.
  static constexpr PeerAddress kBuiltInTracker{0x7F000002, kDefaultTrackerPort};

  std::string nickname;  // no space
  std::string real_name;
  std::string email;
  std::string other;
  std::string my_ip;  // empty: find the own address automatically
  int32_t udpPort = kDefaultUdpPort;
  PeerAddress tracker = kBuiltInTracker;    // ip 0: no tracker
  PeerAddress proxy{0, kDefaultProxyPort};  // ip 0: no proxy
  bool fast_join = true;
  bool fast_join2 = true;
  bool redirect_queries = false;
  bool beep_on_private = true;
  bool timestamps = false;  // the time before each line of the text views
  // Many file fragments in flight toward peers that announce it.
  bool windowed_transfers = true;
  // Game frames sent twice toward peers that drop repeats: never, when the
  // link loses frames, or always.
  LossProtection loss_protection = LossProtection::kAutomatic;
  std::string default_server;  // display name of the default server

  // COLORREF values, 0x00BBGGRR.
  uint32_t server_color = 0x000000C0;   // dark red
  uint32_t private_color = 0x0000C000;  // dark green
  uint32_t action_color = 0x00C00000;   // dark blue
  uint32_t chat_color = 0x00000000;     // black

  bool colors_loaded = false;
  // The server list came from the built-in table; the main frame then asks
  // the tracker for a fresh one once after start-up.
  bool server_list_from_built_in = false;
};

}  // namespace vorn
