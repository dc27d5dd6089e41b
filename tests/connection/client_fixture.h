#pragma once
// A client node on loopback whose clock keeps in step with its traffic, and
// small builders for what fake servers, trackers and proxies send it.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "net/messages.h"
#include "support/test_node.h"
#include "support/traffic.h"

namespace vorn {

using Bytes = std::vector<uint8_t>;

inline Bytes Frame(char type) { return {'V', 'O', 'R', 'N', static_cast<uint8_t>(type)}; }

inline Bytes AddressDatagram(char type, PeerAddress address) {
  Bytes out(kAddressMessageSize);
  out.resize(BuildAddressMessage(out, type, address));
  return out;
}

inline Bytes TextDatagram(char type, std::string_view text) {
  Bytes out(kFrameSize + text.size() + 1);
  out.resize(BuildText(out, {type, text}));
  return out;
}

inline Bytes PingRequestDatagram(uint32_t time_stamp_ms) {
  Bytes out(kPingSize);
  out.resize(BuildPingRequest(out, {"SERVER", time_stamp_ms}));
  return out;
}

// The type byte of a datagram, looking inside a proxy wrap.
inline char InnerType(std::span<const uint8_t> d) {
  size_t at = d.size() > kWrapHeaderSize + kTypeOffset && d[kTypeOffset] == kTypeProxyWrap ? kWrapHeaderSize : 0;
  return d.size() > at + kTypeOffset ? static_cast<char>(d[at + kTypeOffset]) : '\0';
}

// Answers each received type with fixed bytes; other types go unanswered.
inline FakePeer::Responder Answer(std::map<char, Bytes> answers) {
  return [answers = std::move(answers)](FakePeer& self, std::span<const uint8_t> d, PeerAddress from) {
    if (auto it = answers.find(InnerType(d)); it != answers.end()) self.Send(from, it->second);
  };
}

// One entry of a tracker's server list text: a 15-character name field.
inline std::string Entry(std::string_view name, std::string_view address, std::string_view gap = "\r\n") {
  std::string field(name);
  field.resize(15, ' ');
  return field + " " + std::string(address) + std::string(gap);
}

inline ServerEntry EntryFor(std::string name, PeerAddress server) { return {std::move(name), FormatPeer(server)}; }

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Configure(client.profile);
    client.CountTraffic(traffic);
    ASSERT_TRUE(client.Start());
  }
  // Profile values a test needs before the node starts.
  virtual void Configure(MemoryProfile&) {}

  Connection& connection() { return client.node->connection(); }
  SharedAddresses& addresses() { return client.node->addresses(); }
  // Lets the receive thread's posted work (texts, server lists) run.
  void Settle() {
    ASSERT_TRUE(traffic.WaitSettled());
    client.loop.RunReady();
  }

  TrafficCounter traffic;  // first: outlives every endpoint that reports to it
  TestNode client{"alice"};
};

}  // namespace vorn
