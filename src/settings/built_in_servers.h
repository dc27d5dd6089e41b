#pragma once
// The server table a fresh profile starts with, and the tracker used when the
// profile names none. Every address is on the loopback net, so a new
// installation never contacts a machine on its own.
#include <array>
#include <cstddef>
#include <string_view>

namespace vorn {

struct BuiltInServer {
  std::string_view name;     // at most 15 characters
  std::string_view address;  // dotted IPv4
};

inline constexpr size_t kBuiltInServerCount = 38;

// In the order they are listed.
const std::array<BuiltInServer, kBuiltInServerCount>& BuiltInServers();

// One of the built-in servers, without a port.
inline constexpr std::string_view kBuiltInTrackerText = "127.0.0.2";

}  // namespace vorn
