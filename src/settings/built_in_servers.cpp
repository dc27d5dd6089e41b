#include "settings/built_in_servers.h"

namespace vorn {

const std::array<BuiltInServer, kBuiltInServerCount>& BuiltInServers() {
  static constexpr std::array<BuiltInServer, kBuiltInServerCount> kServers{{
      {"Loopback 01", "127.0.0.2"},  {"Loopback 02", "127.0.0.3"},  {"Loopback 03", "127.0.0.4"},
      {"Loopback 04", "127.0.0.5"},  {"Loopback 05", "127.0.0.6"},  {"Loopback 06", "127.0.0.7"},
      {"Loopback 07", "127.0.0.8"},  {"Loopback 08", "127.0.0.9"},  {"Loopback 09", "127.0.0.10"},
      {"Loopback 10", "127.0.0.11"}, {"Loopback 11", "127.0.0.12"}, {"Loopback 12", "127.0.0.13"},
      {"Loopback 13", "127.0.0.14"}, {"Loopback 14", "127.0.0.15"}, {"Loopback 15", "127.0.0.16"},
      {"Loopback 16", "127.0.0.17"}, {"Loopback 17", "127.0.0.18"}, {"Loopback 18", "127.0.0.19"},
      {"Loopback 19", "127.0.0.20"}, {"Loopback 20", "127.0.0.21"}, {"Loopback 21", "127.0.0.22"},
      {"Loopback 22", "127.0.0.23"}, {"Loopback 23", "127.0.0.24"}, {"Loopback 24", "127.0.0.25"},
      {"Loopback 25", "127.0.0.26"}, {"Loopback 26", "127.0.0.27"}, {"Loopback 27", "127.0.0.28"},
      {"Loopback 28", "127.0.0.29"}, {"Loopback 29", "127.0.0.30"}, {"Loopback 30", "127.0.0.31"},
      {"Loopback 31", "127.0.0.32"}, {"Loopback 32", "127.0.0.33"}, {"Loopback 33", "127.0.0.34"},
      {"Loopback 34", "127.0.0.35"}, {"Loopback 35", "127.0.0.36"}, {"Loopback 36", "127.0.0.37"},
      {"Loopback 37", "127.0.0.38"}, {"Loopback 38", "127.0.0.39"},
  }};
  return kServers;
}

}  // namespace vorn
