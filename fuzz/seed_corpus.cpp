// Writes a few valid messages per fuzz target as binary files:
//   vorn_fuzz_seeds <corpus dir>    (the source tree's fuzz/corpus)
// Re-run it when a layout changes; the files are kept in the tree.
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/messages.h"

using namespace vorn;

namespace {

using Bytes = std::vector<uint8_t>;
struct Seed {
  std::string name;
  Bytes bytes;
};

// Runs one builder into a buffer and keeps what it wrote.
template <typename Build>
Bytes Make(Build build) {
  std::array<uint8_t, kMaxDatagram + kWrapHeaderSize> buffer{};
  const size_t size = build(std::span<uint8_t>(buffer));
  return Bytes(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(size));
}

const Bytes kChatPayload = {0x01, 0x00, 0x2A, 0x00, 'h', 'i', 0x00};
const Bytes kProbePayload = {'V', 'M', 'E', 'C', 'H'};

Bytes Hello(std::string_view nickname) {
  return Make([&](std::span<uint8_t> out) {
    return BuildHello(out, {.nickname = nickname, .email = "a@b.c", .real_name = "A Player", .other = "x"});
  });
}

Bytes Frame(char type, const Bytes& payload, IpxSocket socket) {
  return Make([&](std::span<uint8_t> out) {
    return BuildGameFrame(
        out, {.type = type, .sequence = 42, .destination_socket = socket, .source_socket = socket, .payload = payload});
  });
}

Bytes Wrap(const Bytes& inner) {
  return Make([&](std::span<uint8_t> out) {
    return BuildProxyWrap(out, {.address = {0x7F000002, 2214}, .inner = inner});
  });
}

// The parity of the seeds' chat frame and a later one.
Bytes ParitySeed(const Bytes& later) {
  const Bytes older = Frame(kTypeGameFrame, kChatPayload, kChatSocket);
  return Make([&](std::span<uint8_t> out) { return BuildParity(out, older, later, {}); });
}

Bytes Text(char type, std::string_view text) {
  return Make([&](std::span<uint8_t> out) { return BuildText(out, {.type = type, .text = text}); });
}

Bytes InfoRequest(std::string_view nickname) {
  return Make([&](std::span<uint8_t> out) { return BuildPlayerInfoRequest(out, {.nickname = nickname}); });
}

Bytes Forwarded(std::string_view nickname) {
  const Bytes request = InfoRequest(nickname);
  return Make([&](std::span<uint8_t> out) { return BuildForwardedPlayerInfo(out, request, {0x7F000001, 2215}); });
}

Bytes Address(char type) {
  return Make([&](std::span<uint8_t> out) { return BuildAddressMessage(out, type, {0x7F000001, 2213}); });
}

Bytes PingRequestSeed(std::string_view game) {
  return Make(
      [&](std::span<uint8_t> out) { return BuildPingRequest(out, {.game_name = game, .time_stamp_ms = 123456}); });
}

Bytes PingReplySeed(std::string_view game, IpxSocket socket) {
  return Make([&](std::span<uint8_t> out) {
    return BuildPingReply(out, {.game_name = game, .time_stamp_ms = 123456, .game_socket = socket});
  });
}

std::vector<Seed> FrameOnlySeeds() {
  std::vector<Seed> seeds;
  for (char type : std::string_view("<3478nQUMq=")) {
    seeds.push_back({"frame-" + std::to_string(static_cast<int>(type)),
                     Make([type](std::span<uint8_t> out) { return BuildFrameOnly(out, type); })});
  }
  return seeds;
}

// One of every type, as the receive path would see them.
std::vector<Seed> DatagramSeeds() {
  std::vector<Seed> seeds = FrameOnlySeeds();
  seeds.insert(seeds.end(),
               {
                   {"wrap", Wrap(Frame(kTypeGameFrame, kChatPayload, kChatSocket))},
                   {"welcome", Address(kTypeProxyWelcome)},
                   {"accepted", Address(kTypeAccepted)},
                   {"hello", Hello("Player")},
                   {"ping-request", PingRequestSeed("RACER")},
                   {"ping-reply", PingReplySeed("RACER", MakeIpxSocket(0x869C))},
                   {"game-frame", Frame(kTypeGameFrame, kChatPayload, kChatSocket)},
                   {"broadcast-frame", Frame(kTypeBroadcastFrame, {1, 2, 3}, MakeIpxSocket(0x4545))},
                   {"probe", Frame(kTypeBroadcastFrame, kProbePayload, kDirectPlaySocket)},
                   {"info-request", InfoRequest("Player")},
                   {"info-forwarded", Forwarded("Player")},
                   {"text", Text(kTypeText, "Players on this server:\n")},
                   {"text-line", Text(kTypeTextLine, "Welcome!")},
                   {"server-list", Text(kTypeServerList, "Home server    :127.0.0.1\r\nOther          :127.0.0.2\r\n")},
                   {"parity", ParitySeed(Frame(kTypeGameFrame, {1, 2, 3}, kChatSocket))},
               });
  return seeds;
}

// A proxy may deliver a server's relay wrapped once more.
std::vector<Seed> FramingSeeds() {
  std::vector<Seed> seeds = DatagramSeeds();
  seeds.push_back({"double-wrap", Wrap(Wrap(Frame(kTypeGameFrame, kChatPayload, kChatSocket)))});
  return seeds;
}

Bytes LinkProbeSeed(LinkProbeKind kind, uint32_t capabilities) {
  Bytes out(kLinkProbeSize);
  out.resize(BuildLinkProbe(out, {kind, capabilities, 0x1234, 5678}));
  return out;
}

std::vector<std::pair<std::string, std::vector<Seed>>> Targets() {
  return {
      {"proxy_wrap_fuzz",
       {{"frame", Wrap(Frame(kTypeGameFrame, kChatPayload, kChatSocket))},
        {"bye", Wrap({'V', 'O', 'R', 'N', '3'})},
        {"hello", Wrap(Hello("Wrapped"))}}},
      {"address_message_fuzz",
       {{"welcome", Address(kTypeProxyWelcome)},
        {"accepted", Address(kTypeAccepted)},
        {"bare-acceptance", {'V', 'O', 'R', 'N', '2'}}}},
      {"hello_fuzz", {{"short", Hello("Ann")}, {"full", Hello("FifteenCharName")}}},
      {"ping_request_fuzz", {{"short", PingRequestSeed("TANKS")}, {"full", PingRequestSeed("LONGNAME")}}},
      {"ping_reply_fuzz",
       {{"no-game", PingReplySeed("", kChatSocket)}, {"bridge", PingReplySeed("DPLAY", kDirectPlaySocket)}}},
      {"game_frame_fuzz",
       {{"chat", Frame(kTypeGameFrame, kChatPayload, kChatSocket)},
        {"probe", Frame(kTypeBroadcastFrame, kProbePayload, kDirectPlaySocket)},
        {"empty", Frame(kTypeGameFrame, {}, MakeIpxSocket(0x4545))}}},
      {"player_info_request_fuzz", {{"short", InfoRequest("Bob")}, {"full", InfoRequest("FifteenCharName")}}},
      {"forwarded_player_info_fuzz", {{"short", Forwarded("Bob")}, {"full", Forwarded("FifteenCharName")}}},
      {"text_fuzz",
       {{"motd", Text(kTypeTextLine, "Welcome!")},
        {"text", Text(kTypeText, "a\nb\n")},
        {"server-list", Text(kTypeServerList, "Home server    :127.0.0.1\r\n")}}},
      {"link_probe_fuzz",
       {{"question", LinkProbeSeed(LinkProbeKind::kQuestion, 3)},
        {"answer", LinkProbeSeed(LinkProbeKind::kAnswer, 0)}}},
      {"parity_fuzz",
       {{"same-size", ParitySeed(Frame(kTypeGameFrame, {'h', 'o', 'w', 'd', 'y', 0, 0}, kChatSocket))},
        {"padded", ParitySeed(Frame(kTypeBroadcastFrame, Bytes(40, 7), MakeIpxSocket(0x4545)))}}},
      {"frame_only_fuzz", FrameOnlySeeds()},
      {"dispatch_fuzz", DatagramSeeds()},
      {"framing_fuzz", FramingSeeds()},
  };
}

bool WriteSeed(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
    return 2;
  }
  for (const auto& [target, seeds] : Targets()) {
    const std::filesystem::path directory = std::filesystem::path(argv[1]) / target;
    std::filesystem::create_directories(directory);
    for (const Seed& seed : seeds) {
      if (seed.bytes.empty() || !WriteSeed(directory / (seed.name + ".bin"), seed.bytes)) {
        std::fprintf(stderr, "cannot write seed %s/%s\n", target.c_str(), seed.name.c_str());
        return 1;
      }
    }
  }
  return 0;
}
