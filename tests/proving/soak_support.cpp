#include "proving/soak_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>

#include "platform/text.h"

extern char** environ;

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

uint16_t FreeUdpPort() {
  UdpSocket probe;
  if (!probe.Open() || !probe.Bind(kLoopback, 0)) return 0;
  return probe.LocalPort();
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

Program::Program(const std::vector<std::string>& argv) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  in_ = in[1];
  out_ = out[0];
  reader_ = std::jthread([this](std::stop_token stop) { ReadLoop(stop); });
}

Program::~Program() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  reader_.request_stop();
  if (reader_.joinable()) reader_.join();
  if (in_ >= 0) ::close(in_);
  if (out_ >= 0) ::close(out_);
}

void Program::ReadLoop(std::stop_token stop) {
  std::array<char, 4096> buffer;
  while (!stop.stop_requested()) {
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    ssize_t n = ::read(out_, buffer.data(), buffer.size());
    if (n <= 0) return;  // the child closed its output
    std::lock_guard lock(mutex_);
    output_.append(buffer.data(), static_cast<size_t>(n));
    changed_.notify_all();
  }
}

bool Program::TypeLine(std::string_view line) {
  std::string text(line);
  text += '\n';
  return in_ >= 0 && ::write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool Program::Signal(int signal) { return pid_ > 0 && !reaped_ && ::kill(pid_, signal) == 0; }

static size_t CountOf(const std::string& text, std::string_view needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
  return count;
}

bool Program::WaitForOutput(std::string_view needle, std::chrono::milliseconds limit, size_t count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return CountOf(output_, needle) >= count; });
}

size_t Program::CountInOutput(std::string_view needle) const {
  std::lock_guard lock(mutex_);
  return CountOf(output_, needle);
}

std::string Program::Output() const {
  std::lock_guard lock(mutex_);
  return output_;
}

std::string Program::Tail(size_t bytes) const {
  std::lock_guard lock(mutex_);
  return output_.size() <= bytes ? output_ : output_.substr(output_.size() - bytes);
}

std::optional<int> Program::Stop(int signal, std::chrono::milliseconds limit) {
  if (pid_ <= 0) return std::nullopt;
  if (!reaped_) ::kill(pid_, signal);
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (!reaped_ && std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      reaped_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling a child's exit
  }
  if (!reaped_ || !WIFEXITED(status)) return std::nullopt;
  return WEXITSTATUS(status);
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
