#pragma once
// The clients, servers and peers of the stand-alone tools: plain sockets on
// 127.0.0.1, read with bounded waits.
#include <gtest/gtest.h>

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

}  // namespace vorn::tooltest
