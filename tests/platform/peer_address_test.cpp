#include "platform/peer_address.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace vorn {
namespace {

// Four parts with their leading digits, each cut to 8 bits, or zero; the
// port after a colon; decimals as atoi reads them, without overflow.
TEST(ParseAddress, ReadsDottedQuadsPortsAndDecimals) {
  const struct {
    std::string_view text;
    uint32_t ip;
  } quads[] = {{"10.0.0.5", 0x0A000005u}, {"[10.0.0.5", 0x0A000005u}, {"127.0.0.1:2213", 0x7F000001u},
               {"1.2.3.x", 0x01020300u},  {"256.1.1.1", 0x00010101u}, {"10.0.5", 0u},
               {"localhost", 0u}};
  for (const auto& row : quads) EXPECT_EQ(ParseDottedQuad(row.text), row.ip) << row.text;
  EXPECT_EQ(ParseAddressWithPort("10.0.0.1:7000", 6666), (PeerAddress{0x0A000001, 7000}));
  EXPECT_EQ(ParseAddressWithPort("10.0.0.1", 6666), (PeerAddress{0x0A000001, 6666}));
  EXPECT_EQ(ParseAddressWithPort("10.0.0.1:abc", 6666), (PeerAddress{0x0A000001, 0}));
  EXPECT_EQ(ParseAddressWithPort("10.0.0.1:70000", 6666).port, static_cast<uint16_t>(70000));
  EXPECT_EQ(ParseDecimal("  -42x"), -42);
  EXPECT_EQ(ParseDecimal("abc"), 0);
  EXPECT_EQ(ParseDecimal("99999999999999"), 2147483647);
}

}  // namespace
}  // namespace vorn
