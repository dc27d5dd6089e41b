#pragma once
// The clients, servers and peers of the stand-alone tools: plain sockets on
// 127.0.0.1, read with bounded waits.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/fake_client.h"

namespace vorn::tooltest {

inline constexpr uint32_t kLoopback = 0x7F000001;
inline constexpr int kWaitMs = 5000;
inline constexpr int kQuietMs = 200;

inline std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

using vorn::Datagram;
using TestPeer = FakeClient;

// Lets the tool handle what waits, then reads what reached peer. A pass may
// end early (an empty datagram reads like an empty queue), so a few passes
// are allowed before giving up.
template <class Tool>
std::optional<Datagram> Pump(Tool& tool, const TestPeer& peer) {
  for (int pass = 0; pass < 3; ++pass) {
    EXPECT_TRUE(tool.RunOnce(std::chrono::milliseconds(kWaitMs)));
    if (std::optional<Datagram> got = peer.ReceiveFrom(kQuietMs)) return got;
  }
  return std::nullopt;
}

// Each command line is refused with a message.
template <class Parse>
void ExpectRefused(Parse parse, const std::vector<std::vector<std::string>>& command_lines) {
  for (const std::vector<std::string>& args : command_lines) {
    std::string error;
    EXPECT_FALSE(parse(args, error).has_value()) << args[0] << " " << args.back();
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

}  // namespace vorn::tooltest
