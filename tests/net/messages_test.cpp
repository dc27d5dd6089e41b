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

class MessagesTest : public ::testing::Test {
 protected:
  std::span<const uint8_t> Built(size_t size) { return std::span<const uint8_t>(buffer_).first(size); }
  Bytes Copy(size_t size) { return Bytes(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(size)); }

  std::array<uint8_t, kMaxDatagram + kWrapHeaderSize> buffer_{};
};

// What each builder lays down, byte for byte, and what its parser reads back.
TEST_F(MessagesTest, BuildersLayTheirBytesExactlyAndParsersReadThemBack) {
  Bytes hello = Text("VORN1");     // frame
  AppendField(hello, "Ann", 16);   // nickname, zero-filled
  AppendField(hello, "", 6);       // reserved
  AppendField(hello, "1.2x1", 6);  // version and its zero
  AppendField(hello, "", 12);      // reserved
  AppendField(hello, "ann@example.org", 75);
  AppendField(hello, "Ann Smith", 75);
  AppendField(hello, "hi", 75);  // other
  AppendField(hello, "", 6);     // unused
  Bytes request = Text("VORNW");
  AppendField(request, "FifteenCharName", 16);
  Bytes forwarded = Text("VORNW");
  AppendField(forwarded, "FifteenCharName", 15);                  // cut to 15, no zero
  forwarded.insert(forwarded.end(), {127, 0, 0, 1, 0x0B, 0xB8});  // client 127.0.0.1:3000
  const struct {
    Bytes built;  // copied as each is built: the builds share buffer_
    Bytes expected;
  } layouts[] = {
      {Copy(BuildHello(buffer_, {"Ann", "ann@example.org", "Ann Smith", "hi"})), hello},
      {Copy(BuildPingReply(buffer_, {"RACER", 0x12345678, kDirectPlaySocket})),
       {'V',  'O',  'R',  'N',  'A', 'R', 'A', 'C', 'E', 'R', 0, 0, 0, 0,  // game name, 9 bytes
        0x78, 0x56, 0x34, 0x12,                                            // time stamp, little-endian
        0x53, 0x22}},                                                      // IPX socket as it travels
      {Copy(BuildProxyWrap(buffer_, {.address = {0x7F000102, 2213}, .inner = Text("VORN3")})),
       {'V', 'O', 'R', 'N', 'P', 127, 0, 1, 2, 0x08, 0xA5,  // address and port 2213, network order
        'V', 'O', 'R', 'N', '3'}},                          // inner datagram
      {Copy(BuildForwardedPlayerInfo(buffer_, request, {0x7F000001, 3000})), forwarded},
      {Copy(BuildText(buffer_, {kTypeTextLine, "Welcome!"})), Text(std::string_view("VORNwWelcome!\0", 14))},
  };
  for (size_t i = 0; i < std::size(layouts); ++i) EXPECT_EQ(layouts[i].built, layouts[i].expected) << i;
  const auto parsed_hello = ParseHello(hello);
  ASSERT_TRUE(parsed_hello);
  EXPECT_EQ(parsed_hello->nickname, "Ann");
  EXPECT_EQ(parsed_hello->version, "1.2x1");
  EXPECT_EQ(parsed_hello->email, "ann@example.org");
  EXPECT_EQ(parsed_hello->real_name, "Ann Smith");
  EXPECT_EQ(parsed_hello->other, "hi");
  const auto reply = ParsePingReply(layouts[1].expected);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->game_name, "RACER");
  EXPECT_EQ(reply->time_stamp_ms, 0x12345678u);
  EXPECT_EQ(reply->game_socket, kDirectPlaySocket);
  const auto wrap = ParseProxyWrap(layouts[2].expected);
  ASSERT_TRUE(wrap);
  EXPECT_EQ(wrap->address, (PeerAddress{0x7F000102, 2213}));
  EXPECT_TRUE(std::ranges::equal(wrap->inner, Text("VORN3")));
  EXPECT_FALSE(ParseProxyWrap(std::span<const uint8_t>(layouts[2].expected).first(15)));  // must hold a frame
  const auto info = ParseForwardedPlayerInfo(forwarded);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->nickname, "FifteenCharName");
  EXPECT_EQ(info->client, (PeerAddress{0x7F000001, 3000}));
  EXPECT_EQ(BuildForwardedPlayerInfo(buffer_, Text("VORNQ"), {1, 1}), 0u);  // only a player information request
}

TEST_F(MessagesTest, HelloCutsLongTextsAndKeepsTheirZero) {
  std::string long_text(100, 'x');
  HelloRecord hello{.nickname = "SixteenCharsLong", .email = long_text, .real_name = long_text, .other = ""};
  ASSERT_EQ(BuildHello(buffer_, hello), kHelloSize);
  EXPECT_EQ(buffer_[20], 0);   // last byte of the nickname field
  EXPECT_EQ(buffer_[119], 0);  // last byte of the e-mail field
  auto parsed = ParseHello(Built(kHelloSize));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->nickname, "SixteenCharsLon");
  EXPECT_EQ(parsed->email.size(), 74u);
  EXPECT_EQ(parsed->real_name.size(), 74u);
}

TEST_F(MessagesTest, EveryFrameOnlyTypeRoundTrips) {
  for (char type : std::string_view("<3478nQUMq=")) {
    ASSERT_EQ(BuildFrameOnly(buffer_, type), kFrameSize) << type;
    EXPECT_EQ(ParseFrameOnly(Built(kFrameSize)), type);
  }
  EXPECT_EQ(BuildFrameOnly(buffer_, kTypeHello), 0u);
  EXPECT_FALSE(ParseFrameOnly(Text("VORN1")));
}

TEST_F(MessagesTest, AddressMessagesRoundTripAndShortAcceptanceHasNoAddress) {
  for (char type : {kTypeProxyWelcome, kTypeAccepted}) {
    ASSERT_EQ(BuildAddressMessage(buffer_, type, {0x0A000005, 4000}), kAddressMessageSize);
    auto parsed = ParseAddressMessage(Built(kAddressMessageSize));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->type, type);
    EXPECT_EQ(parsed->address, (PeerAddress{0x0A000005, 4000}));
  }
  auto bare = ParseAddressMessage(Text("VORN2"));
  ASSERT_TRUE(bare);
  EXPECT_FALSE(bare->address);
  // A cut address is no address, never one read from beyond the datagram.
  auto cut = ParseAddressMessage(Built(8));
  ASSERT_TRUE(cut);
  EXPECT_FALSE(cut->address);
  EXPECT_FALSE(ParseAddressMessage(Text("VORN>abcde")));
}

// Ping and player information requests go through real nodes and the
// tracker, which answer with the fields they parsed (connection and tools tests).

TEST_F(MessagesTest, GameFramesRoundTripInBothForms) {
  const Bytes payload = {1, 2, 3, 4, 5};
  for (char type : {kTypeGameFrame, kTypeBroadcastFrame}) {
    GameFrame frame{.type = type,
                    .sequence = -7,
                    .destination_socket = kChatSocket,
                    .source_socket = MakeIpxSocket(0x4545),
                    .payload = payload};
    ASSERT_EQ(BuildGameFrame(buffer_, frame), kGameFrameHeaderSize + payload.size());
    EXPECT_EQ(buffer_[9], 0x27);  // sockets travel in network order
    EXPECT_EQ(buffer_[10], 0x8E);
    auto parsed = ParseGameFrame(Built(kGameFrameHeaderSize + payload.size()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->type, type);
    EXPECT_EQ(parsed->sequence, -7);
    EXPECT_EQ(parsed->destination_socket, kChatSocket);
    EXPECT_EQ(IpxSocketNumber(parsed->source_socket), 0x4545);
    EXPECT_TRUE(std::ranges::equal(parsed->payload, payload));
  }
  EXPECT_EQ(BuildGameFrame(buffer_, {.type = 'X', .payload = payload}), 0u);
}

TEST_F(MessagesTest, TextsRoundTripAndStopAtTheDatagramEnd) {
  for (char type : {kTypeText, kTypeTextLine, kTypeServerList}) {
    ASSERT_EQ(BuildText(buffer_, {.type = type, .text = "line\n"}), 11u);
    auto parsed = ParseText(Built(11));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->type, type);
    EXPECT_EQ(parsed->text, "line\n");
  }
  // A text that lost its zero ends with the datagram.
  const Bytes cut = Text("VORNvabc");
  auto unterminated = ParseText(cut);
  ASSERT_TRUE(unterminated);
  EXPECT_EQ(unterminated->text, "abc");
  EXPECT_EQ(BuildText(buffer_, {.type = kTypeHello, .text = "x"}), 0u);
}

TEST_F(MessagesTest, BuildersRefuseWhatDoesNotFit) {
  std::array<uint8_t, kPingSize - 1> small{};
  EXPECT_EQ(BuildPingReply(small, {}), 0u);
  EXPECT_EQ(BuildHello(small, {}), 0u);
  EXPECT_EQ(BuildText(std::span<uint8_t>(small).first(9), {.text = "four"}), 0u);  // no room for the zero
  EXPECT_EQ(BuildText(std::span<uint8_t>(small).first(10), {.text = "four"}), 10u);
}

// Datagrams cut short never reach a parser: the dispatcher's minimum
// lengths (dispatch tests, hostile/malformed_length_test) and the fuzz
// targets hold every parser to its input.
TEST_F(MessagesTest, ProbeFormsAreFoundAtTheirOffset) {
  const Bytes marker = Text("VMECH");
  ASSERT_EQ(BuildGameFrame(buffer_, {.type = kTypeBroadcastFrame, .payload = marker}), kMinProbeSize);
  EXPECT_EQ(FindProbe(Built(kMinProbeSize)), ProbeForm::kProbe);
  EXPECT_EQ(FindProbe(Built(kMinProbeSize - 1)), ProbeForm::kNone);
  buffer_[kProbeOffset] = 'v';
  EXPECT_EQ(FindProbe(Built(kMinProbeSize)), ProbeForm::kNone);  // mixed case is nothing
  std::copy(kProbeAnswerMarker.begin(), kProbeAnswerMarker.end(), buffer_.begin() + kProbeOffset);
  EXPECT_EQ(FindProbe(Built(kMinProbeSize)), ProbeForm::kAnswer);
}

}  // namespace
}  // namespace vorn
