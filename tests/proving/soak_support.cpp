#include "proving/soak_support.h"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "platform/text.h"

namespace vorn::soak {
namespace {

constexpr int kMaxSoakSeconds = 86'400;
constexpr size_t kIpxHeaderSize = 30;
constexpr uint16_t kGameSocket = 0x5A17;

}  // namespace

int SoakSeconds(int short_form_seconds) {
  const char* text = std::getenv("VORN_SOAK_SECONDS");
  if (text == nullptr || *text == 0 || std::string_view(text).size() > 6 ||
      !std::ranges::all_of(std::string_view(text), IsDigit))
    return short_form_seconds;
  int seconds = ParseDecimal(text);
  return seconds > 0 && seconds <= kMaxSoakSeconds ? seconds : short_form_seconds;
}

int64_t ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) != 0) continue;
    std::string digits;
    for (char c : line) if (IsDigit(c)) digits += c;
    return digits.empty() ? -1 : std::stoll(digits);
  }
  return -1;
}

std::vector<std::string> VorndCommand(const TempDir& dir, const std::string& nick, uint16_t port,
                                      const std::vector<std::string>& extra) {
  std::vector<std::string> argv = {VORND_PATH, "--config", dir.File(nick + ".conf"), "--my-ip", "127.0.0.1", "--port",
                                   std::to_string(port), "--nick", nick, "--real-name", nick + " Player", "--email",
                                   nick + "@example.org"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return argv;
}

bool FakeDosbox::Register(uint16_t driver_port) {
  if (!socket_.Open() || !socket_.Bind(kLoopback, 0)) return false;
  socket_.SetBufferSizes(1 << 20);  // the test reads in bursts
  driver_ = {kLoopback, driver_port};
  std::array<uint8_t, kIpxHeaderSize> request{};
  request[0] = request[1] = 0xFF;
  request[3] = kIpxHeaderSize;
  request[17] = request[29] = 0x02;  // the tunnel's registration socket
  socket_.SendTo(driver_, request);
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (WaitReadable(socket_, never_, 100) != WaitResult::Readable) continue;
    PeerAddress from;
    bool cut = false;
    int n = socket_.RecvFrom(buffer_, from, cut);
    if (n < static_cast<int>(kIpxHeaderSize) || from != driver_) continue;
    std::copy(buffer_.begin() + 10, buffer_.begin() + 16, node_.begin());  // the node we were given
    return true;
  }
  return false;
}

void FakeDosbox::Broadcast(std::span<const uint8_t> data) const {
  constexpr std::array<uint8_t, 6> kEveryNode = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  Send(kEveryNode, data);
}

void FakeDosbox::SendTo(std::span<const uint8_t> node, std::span<const uint8_t> data) const { Send(node, data); }

void FakeDosbox::Send(std::span<const uint8_t> destination_node, std::span<const uint8_t> data) const {
  std::array<uint8_t, 2048> packet{};
  size_t length = kIpxHeaderSize + std::min(data.size(), packet.size() - kIpxHeaderSize);
  packet[0] = packet[1] = 0xFF;
  packet[2] = static_cast<uint8_t>(length >> 8);
  packet[3] = static_cast<uint8_t>(length);
  packet[5] = 4;
  std::copy(destination_node.begin(), destination_node.begin() + 6, packet.begin() + 10);
  packet[16] = packet[28] = kGameSocket >> 8;
  packet[17] = packet[29] = kGameSocket & 0xFF;
  std::copy(node_.begin(), node_.end(), packet.begin() + 22);
  std::copy(data.begin(), data.begin() + static_cast<ptrdiff_t>(length - kIpxHeaderSize), packet.begin() + kIpxHeaderSize);
  socket_.SendTo(driver_, std::span(packet).first(length));
}

std::span<const uint8_t> FakeDosbox::Receive(int wait_ms) {
  if (WaitReadable(socket_, never_, wait_ms) != WaitResult::Readable) return {};
  PeerAddress from;
  bool cut = false;
  int n = socket_.RecvFrom(buffer_, from, cut);
  if (n <= static_cast<int>(kIpxHeaderSize) || cut) return {};
  return std::span(buffer_).subspan(kIpxHeaderSize, static_cast<size_t>(n) - kIpxHeaderSize);
}

}  // namespace vorn::soak
