#include "net/messages.h"

#include <gtest/gtest.h>

#include <array>
#include <string_view>
#include <vector>

namespace vorn {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A fixed-width text field: the text, then zeros up to the width.
void AppendField(Bytes& out, std::string_view text, size_t width) {
  Bytes field = Text(text);
  field.resize(width, 0);
  out.insert(out.end(), field.begin(), field.end());
}

// The fuzz targets hold every parser to its input and check that what it
// reads builds back the same; here what each builder lays down, byte for
// byte, which peers rely on.
class MessagesTest : public ::testing::Test {
 protected:
  Bytes Copy(size_t size) { return Bytes(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(size)); }

  std::array<uint8_t, kMaxDatagram + kWrapHeaderSize> buffer_{};
};

TEST_F(MessagesTest, BuildersLayTheirBytesExactly) {
  Bytes hello = Text("VORN1");                   // frame
  AppendField(hello, "SixteenCharsLon", 16);     // nickname cut to 15, zero-filled
  AppendField(hello, "", 6);                     // reserved
  AppendField(hello, "1.2x1", 6);                // version and its zero
  AppendField(hello, "", 12);                    // reserved
  AppendField(hello, std::string(74, 'x'), 75);  // e-mail cut, keeping its zero
  AppendField(hello, "Ann Smith", 75);
  AppendField(hello, "hi", 75);  // other
  AppendField(hello, "", 6);     // unused
  Bytes request = Text("VORNW");
  AppendField(request, "FifteenCharName", 16);
  Bytes forwarded = Text("VORNW");
  AppendField(forwarded, "FifteenCharName", 15);                  // cut to 15, no zero
  forwarded.insert(forwarded.end(), {127, 0, 0, 1, 0x0B, 0xB8});  // client 127.0.0.1:3000
  const Bytes payload = {1, 2, 3};
  const GameFrame game{kTypeBroadcastFrame, -7, kChatSocket, MakeIpxSocket(0x4545), payload};
  const struct {
    Bytes built;  // copied as each is built: the builds share buffer_
    Bytes expected;
  } layouts[] = {
      {Copy(BuildHello(buffer_, {"SixteenCharsLong", std::string(100, 'x'), "Ann Smith", "hi"})), hello},
      {Copy(BuildPingReply(buffer_, {"RACER", 0x12345678, kDirectPlaySocket})),
       {'V',  'O',  'R',  'N',  'A', 'R', 'A', 'C', 'E', 'R', 0, 0, 0, 0,  // game name, 9 bytes
        0x78, 0x56, 0x34, 0x12,                                            // time stamp, little-endian
        0x53, 0x22}},                                                      // IPX socket as it travels
      {Copy(BuildProxyWrap(buffer_, {.address = {0x7F000102, 2213}, .inner = Text("VORN3")})),
       {'V', 'O', 'R', 'N', 'P', 127, 0, 1, 2, 0x08, 0xA5,  // address and port 2213, network order
        'V', 'O', 'R', 'N', '3'}},                          // inner datagram
      {Copy(BuildForwardedPlayerInfo(buffer_, request, {0x7F000001, 3000})), forwarded},
      {Copy(BuildText(buffer_, {kTypeTextLine, "Welcome!"})), Text(std::string_view("VORNwWelcome!\0", 14))},
      {Copy(BuildAddressMessage(buffer_, kTypeAccepted, {0x0A000005, 4000})),
       {'V', 'O', 'R', 'N', '2', 10, 0, 0, 5, 0x0F, 0xA0}},
      {Copy(BuildGameFrame(buffer_, game)),
       {'V', 'O', 'R', 'N', 'B', 0xF9, 0xFF, 0xFF, 0xFF,  // sequence, little-endian
        0x27, 0x8E, 0x45, 0x45, 1, 2, 3}},                // sockets in network order, payload
      {Copy(BuildFrameOnly(buffer_, kTypeBye)), Text("VORN3")},
  };
  for (size_t i = 0; i < std::size(layouts); ++i) EXPECT_EQ(layouts[i].built, layouts[i].expected) << i;
}

// A short acceptance carries no address, and a cut one is no address
// rather than one read from beyond the datagram.
TEST_F(MessagesTest, ShortAcceptancesCarryNoAddress) {
  EXPECT_FALSE(ParseAddressMessage(Text("VORN2"))->address);
  EXPECT_FALSE(ParseAddressMessage(Text("VORN2abc"))->address);
}

}  // namespace
}  // namespace vorn
