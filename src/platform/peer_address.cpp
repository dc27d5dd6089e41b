#include "platform/peer_address.h"

#include <cstdio>

#include "platform/text.h"

namespace vorn {

uint32_t ParseDottedQuad(std::string_view text) {
  if (!text.empty() && text.front() == '[') text.remove_prefix(1);
  uint32_t address = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      size_t dot = text.find('.');
      if (dot == std::string_view::npos) return 0;
      text.remove_prefix(dot + 1);
    }
    uint32_t value = 0;
    for (size_t i = 0; i < text.size() && IsDigit(text[i]); ++i)
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    address = address << 8 | (value & 0xFF);
  }
  return address;
}

PeerAddress ParseAddressWithPort(std::string_view text, uint16_t default_port) {
  uint16_t port = default_port;
  if (size_t colon = text.find(':'); colon != std::string_view::npos) {
    port = static_cast<uint16_t>(ParseDecimal(text.substr(colon + 1)));
    text = text.substr(0, colon);
  }
  return {ParseDottedQuad(text), port};
}

std::string FormatIp(uint32_t ip) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
  return text;
}

std::string FormatPeer(PeerAddress peer) { return FormatIp(peer.ip) + ":" + std::to_string(peer.port); }

}  // namespace vorn
