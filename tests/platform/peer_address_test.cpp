#include "platform/peer_address.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace vorn {
namespace {

TEST(ParseDottedQuad, ReadsFourPartsWithTheirLeadingDigitsOrGivesZero) {
  EXPECT_EQ(ParseDottedQuad("10.0.0.5"), 0x0A000005u);
  EXPECT_EQ(ParseDottedQuad("[10.0.0.5"), 0x0A000005u);
  EXPECT_EQ(ParseDottedQuad("127.0.0.1:2213"), 0x7F000001u);
  EXPECT_EQ(ParseDottedQuad("1.2.3.x"), 0x01020300u);    // no digits give 0
  EXPECT_EQ(ParseDottedQuad("256.1.1.1"), 0x00010101u);  // cut to 8 bits
  EXPECT_EQ(ParseDottedQuad("10.0.5"), 0u);
  EXPECT_EQ(ParseDottedQuad(""), 0u);
  EXPECT_EQ(ParseDottedQuad("localhost"), 0u);
}

TEST(ParseAddressWithPort, TakesThePortAfterTheColon) {
  EXPECT_EQ(ParseAddressWithPort("10.0.0.1:7000", 6666), (PeerAddress{0x0A000001, 7000}));
  EXPECT_EQ(ParseAddressWithPort("10.0.0.1", 6666), (PeerAddress{0x0A000001, 6666}));
  EXPECT_EQ(ParseAddressWithPort("10.0.0.1:abc", 6666), (PeerAddress{0x0A000001, 0}));
  EXPECT_EQ(ParseAddressWithPort("10.0.0.1:70000", 6666).port, static_cast<uint16_t>(70000));
  EXPECT_EQ(ParseAddressWithPort("nodots", 6666).ip, 0u);
}

TEST(ParseDecimal, BehavesLikeAtoiWithoutOverflow) {
  EXPECT_EQ(ParseDecimal("  -42x"), -42);
  EXPECT_EQ(ParseDecimal("abc"), 0);
  EXPECT_EQ(ParseDecimal("99999999999999"), 2147483647);
}

}  // namespace
}  // namespace vorn
