#include "tracker/tracker.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "common/drain.h"
#include "platform/text.h"

namespace vorn {
namespace {

constexpr auto kRunSlice = std::chrono::milliseconds(1000);

std::string FormatLogTime(int64_t calendar_seconds) {
  auto seconds = static_cast<time_t>(calendar_seconds);
  tm parts{};
  localtime_r(&seconds, &parts);
  char text[32];
  size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return {text, length};
}

// A nickname from the wire, safe to put into a log line and a reply.
std::string PrintableNickname(std::string_view nickname) {
  std::string printable(nickname);
  for (char& c : printable) {
    auto byte = static_cast<uint8_t>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return printable;
}

// The tracker sends to the address inside a forwarded request; never to
// "nobody" (0.0.0.0 would reach this machine) nor to a group address.
bool CanReceiveAnswer(PeerAddress client) { return client.ip != 0 && client.port != 0 && client.ip < 0xE0000000; }

}  // namespace

Tracker::Tracker(const Clock& clock, std::ostream& log, std::ostream& errors)
    : clock_(clock), log_(log), errors_(errors) {}

bool Tracker::Open(const TrackerConfig& config) {
  list_.emplace(config.list_path, errors_);
  if (!list_->Load()) return false;
  if (!socket_.Open() || !socket_.Bind(config.bind_ip, config.port) || !socket_.SetNonBlocking()) {
    int error = errno;
    errors_ << "cannot listen on " << FormatPeer({config.bind_ip, config.port}) << ": " << std::strerror(error) << "\n"
            << std::flush;
    socket_.Close();
    return false;
  }
  local_ = {config.bind_ip, socket_.LocalPort()};
  return true;
}

bool Tracker::RunOnce(std::chrono::milliseconds timeout) {
  if (stopped_.load(std::memory_order_acquire) || !socket_.valid()) return false;
  switch (WaitReadable(socket_, wake_, static_cast<int>(timeout.count()))) {
    case WaitResult::Readable:
      return DrainSocket();
    case WaitResult::Failed:
      errors_ << "waiting for requests failed: " << std::strerror(errno) << "\n" << std::flush;
      return false;
    default:  // woken, timed out or interrupted by a signal
      return !stopped_.load(std::memory_order_acquire);
  }
}

void Tracker::Run() {
  while (RunOnce(kRunSlice)) {
  }
}

void Tracker::Stop() {
  stopped_.store(true, std::memory_order_release);
  wake_.Raise();
}

bool Tracker::DrainSocket() {
  const bool read = vorn::DrainSocket(socket_, receive_buffer_, [this](auto datagram, PeerAddress from, bool cut) {
    if (!cut) HandleDatagram(datagram, from);
  });
  if (!read) {
    errors_ << "receiving failed: " << std::strerror(errno) << "\n" << std::flush;
    return false;
  }
  return !stopped_.load(std::memory_order_acquire);
}

void Tracker::HandleDatagram(std::span<const uint8_t> datagram, PeerAddress from) {
  if (datagram.size() == kForwardedPlayerInfoSize) {
    if (std::optional<ForwardedPlayerInfo> info = ParseForwardedPlayerInfo(datagram)) AnswerPlayerInfo(*info, from);
    return;
  }
  if (datagram.size() != kFrameSize) return;
  std::optional<char> type = ParseFrameOnly(datagram);
  if (type == kTypeServerListRequest || type == kTypeServerListUpdateRequest) AnswerServerList(*type, from);
}

void Tracker::AnswerServerList(char type, PeerAddress from) {
  list_->Refresh();
  const ServerListDatagram& list = list_->datagram();
  // Refused silently: a line per refusal would let a flood fill the log.
  if (!list_answers_.Allow(from, clock_.NowMs(), kFrameSize, list.size)) return;
  int sent = socket_.SendTo(from, list.view());
  std::string what = Format("'%c': server list with %zu server(s), %zu bytes", type, list.servers_sent, list.size);
  if (list.servers_sent < list.servers_listed)
    what += Format(", %zu more left out (one datagram holds %zu bytes)", list.servers_listed - list.servers_sent,
                   kMaxDatagram);
  if (sent < 0) what += Format(", not sent: %s", std::strerror(errno));
  LogLine(from, what);
}

void Tracker::AnswerPlayerInfo(const ForwardedPlayerInfo& info, PeerAddress from) {
  std::string nickname = PrintableNickname(info.nickname);
  std::string asker = FormatPeer(info.client);
  // Anyone else could aim the answer at whatever address the request names.
  list_->Refresh();
  if (!list_->Lists(from)) {
    LogLine(from,
            Format("'W' about \"%s\" for %s: not answered, not from a listed server", nickname.c_str(), asker.c_str()));
    return;
  }
  if (!CanReceiveAnswer(info.client)) {
    LogLine(from, Format("'W' about \"%s\" for %s: not answered, no usable address", nickname.c_str(), asker.c_str()));
    return;
  }
  std::string text = Format("No information about %s is kept by this tracker.", nickname.c_str());
  size_t size = BuildText(send_buffer_, {kTypeTextLine, text});
  int sent = socket_.SendTo(info.client, std::span(send_buffer_).first(size));
  std::string what = Format("'W' about \"%s\" for %s: no information kept", nickname.c_str(), asker.c_str());
  if (sent < 0) what += Format(", not sent: %s", std::strerror(errno));
  LogLine(from, what);
}

void Tracker::LogLine(PeerAddress from, const std::string& what) {
  log_ << FormatLogTime(clock_.NowSeconds()) << " " << FormatPeer(from) << " " << what << "\n" << std::flush;
}

}  // namespace vorn
