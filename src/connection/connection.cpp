#include "connection/connection.h"

#include <string>

#include "platform/text.h"

namespace vorn {
namespace {

constexpr uint16_t kServerPort = 2213;
constexpr size_t kMaxAddressText = 79;
constexpr size_t kMaxTitle = 79;
constexpr size_t kMaxDialogText = 127;
constexpr int32_t kHelloPollStepMs = 10;
constexpr int32_t kByePollStepMs = 100;
constexpr int32_t kProxyPollStepMs = 10;

constexpr std::string_view kLookingForServer = "Looking for server...";
constexpr std::string_view kConnected = "Connected to server.\r\n";
constexpr std::string_view kSayingBye = "Saying bye...";
constexpr std::string_view kDisconnected = "Disconnected from server.\r\n";
constexpr std::string_view kNoServerResponse = "Error: no response from server\r\n";
constexpr std::string_view kNickCollision = "\r\n\r\nError: Nick collision.  Use a different nickname.\r\n";
constexpr std::string_view kSubnetFull = "\r\n\r\nError: Virtual Sub-Net is full. Cannot connect.\r\n";
constexpr std::string_view kVersionDiffers =
    "\r\n\r\nError: Different versions detected. You must use the same version of Vorn.\r\n";
constexpr std::string_view kLookingForProxy = "Looking for Proxy host...";
constexpr std::string_view kConnectedToProxy = "Connected to proxy.\r\n";
constexpr std::string_view kConnectedToProxyLate = "Connected to proxy1.\r\n";
constexpr std::string_view kNoProxyResponse = "Error: no response from proxy\r\n";
constexpr std::string_view kCanceled = "User canceled operation!\r\n";

// The answers that end a greeting, and a bye. Any other code is a stray
// (a late acknowledgement from an earlier server, say): it must not stop the
// repetitions, or the dialog would wait for ever.
bool EndsGreeting(ServerReply reply) {
  return reply == ServerReply::kAccepted || reply == ServerReply::kNicknameRejected ||
         reply == ServerReply::kSubnetFull || reply == ServerReply::kVersionDiffers;
}

bool EndsBye(ServerReply reply) {
  return reply == ServerReply::kByeAcknowledged || reply == ServerReply::kNicknameRejected ||
         reply == ServerReply::kSubnetFull || reply == ServerReply::kVersionDiffers;
}

int32_t ElapsedMs(int32_t since_ms, int32_t now_ms) {
  return static_cast<int32_t>(static_cast<uint32_t>(now_ms) - static_cast<uint32_t>(since_ms));
}

std::string Cut(std::string text, size_t max_chars) {
  if (text.size() > max_chars) text.resize(max_chars);
  return text;
}

}  // namespace

Connection::Connection(const ConnectionPorts& ports)
    : clock_(ports.clock),
      ui_(ports.ui),
      window_(ports.window),
      dialogs_(ports.dialogs),
      settings_(ports.settings),
      addresses_(ports.addresses),
      endpoint_(ports.endpoint),
      queries_(ports.ui, ports.window, ports.settings, ports.addresses, ports.endpoint),
      handlers_(board_, ports.addresses, ports.endpoint, ports.window, queries_, hooks_) {}

Connection::~Connection() { StopTimer(); }

// ---- operations -------------------------------------------------------------

bool Connection::ConnectToServer(const ServerEntry& entry) {
  // Copies: the entry may belong to the server list, which a tracker's list
  // can grow while the dialog runs.
  const std::string name = entry.name;
  const std::string address = entry.address;
  const PeerAddress target = ParseAddressWithPort(Truncate(address, kMaxAddressText), kServerPort);
  const PeerAddress current = addresses_.server.Load();
  if (current.IsSet() && target == current) return true;
  if (current.IsSet()) DisconnectFromServer();

  if (SayHello(target)) return true;
  RunProgressDialog(Cut("Connecting to " + name, kMaxTitle),
                    Cut("Saying hello to " + name + " at " + address, kMaxDialogText), false, &Connection::ServerTick);
  saying_hello_ = false;
  return IsConnected();
}

// Sends the greeting and watches for an acceptance for a second.
bool Connection::SayHello(PeerAddress target) {
  target_ = target;
  const AppSettings& s = settings_.settings();
  BuildHello(hello_, {s.nickname, s.email, s.real_name, s.other});
  Announce(kLookingForServer);
  board_.Reset(target);
  saying_hello_ = true;
  SendHello();
  if (!PollForReply(ServerReply::kAccepted, kHelloPollStepMs)) return false;
  saying_hello_ = false;
  AdoptServer();
  return true;
}

// The server is whoever answered: a machine with several addresses (or our
// own, dialled under the address that peers see) answers from the one its
// kernel picks, and its relays and pings come from there too. Only the
// dialled port is required of it.
void Connection::AdoptServer() {
  const PeerAddress answered = board_.Observed().source;
  const PeerAddress server = answered.IsSet() && answered.port == target_.port ? answered : target_;
  // Set before it is shown, so the server's first ping finds it.
  addresses_.server.Store(server);
  Announce(kConnected);
  ApplyObservedAddress();
}

bool Connection::ConnectByName(std::optional<std::string_view> name, std::optional<std::string_view> address) {
  ServerEntry entry;
  if (const ServerEntry* found = settings_.FindServer(name, address)) {
    entry = *found;
  } else {
    entry = {std::string(name.value_or("")), std::string(address.value_or(""))};
  }
  // A server known only by its address (given on the command line) is
  // named by it.
  if (entry.name.empty()) entry.name = entry.address;
  Announce("Connecting to " + entry.name + " at " + entry.address + "\r\n");
  return ConnectToServer(entry);
}

bool Connection::DisconnectFromServer() {
  if (!addresses_.server.Load().IsSet()) return true;
  hooks_.stop_direct_play_bridge();
  hooks_.leave_chat_mode();
  Announce(kSayingBye);
  board_.Reset(addresses_.server.Load());
  saying_bye_ = true;
  SendFrame(addresses_.server.Load(), kTypeBye);
  if (PollForReply(ServerReply::kByeAcknowledged, kByePollStepMs)) {
    addresses_.server.Clear();
    saying_bye_ = false;
    Announce(kDisconnected);
    return true;
  }
  RunProgressDialog("Disconnecting from server", "Disconnecting...", true, &Connection::ServerTick);
  // Disconnected whether or not the server answered.
  addresses_.server.Clear();
  saying_bye_ = false;
  return true;
}

bool Connection::ConnectToProxy() {
  if (!addresses_.proxy.Load().IsSet()) return false;
  Announce(kLookingForProxy);
  board_.Reset();
  board_.ExpectProxyWelcome(true);
  SendFrame(addresses_.proxy.Load(), kTypeProxyHello);
  bool connected = PollForReply(ServerReply::kProxyWelcome, kProxyPollStepMs);
  if (connected) {
    Announce(kConnectedToProxy);
  } else {
    proxy_connected_ = false;
    RunProgressDialog("Connecting to Proxy", "Looking for Proxy Host...", false, &Connection::ProxyTick);
    connected = proxy_connected_;
  }
  // The proxy stays configured either way; a late welcome is not taken.
  board_.ExpectProxyWelcome(false);
  return connected;
}

void Connection::ApplyObservedAddress() {
  const ObservedAcceptance seen = board_.Observed();
  if (seen.length != kAddressMessageSize || seen.address == addresses_.local.Load()) return;
  Announce(AddressChangedNote(seen.address));
  addresses_.local.Store(seen.address);
  hooks_.close_driver_link();
  hooks_.open_driver_link();
}

// ---- sending and waiting ----------------------------------------------------

void Connection::Send(PeerAddress to, std::span<const uint8_t> data) const {
  // An address that did not parse is nobody; a datagram to address 0 would
  // reach this host's own ports.
  if (to.IsSet()) endpoint_.SendPacket(to, data);
}

void Connection::SendHello() const { Send(target_, hello_); }

void Connection::SendFrame(PeerAddress to, char type) const {
  std::array<uint8_t, kFrameSize> frame{};
  size_t size = BuildFrameOnly(frame, type);
  Send(to, std::span<const uint8_t>(frame.data(), size));
}

bool Connection::PollForReply(ServerReply wanted, int32_t step_ms) {
  const int32_t start_ms = clock_.NowMs();
  while (ElapsedMs(start_ms, clock_.NowMs()) < kPollMs) {
    clock_.SleepMs(step_ms);
    if (board_.Reply() == wanted) return true;
  }
  return false;
}

// ---- the progress dialog phase ---------------------------------------------

void Connection::RunProgressDialog(std::string_view title, std::string_view text, bool close_label, Tick tick) {
  retries_left_ = kRetries;
  parity_ = 0;
  timer_ = ui_.StartTimer(kTickMs, [this, tick] { (this->*tick)(); });
  dialog_ = dialogs_.CreateProgressDialog();
  if (dialog_) {
    dialog_->SetTexts(title, text, close_label);
    dialog_->SetCountdown(kRetries);
    dialog_->Run();
  }
  const bool cancelled = dialog_ && dialog_->IsCancelled();
  dialog_.reset();
  StopTimer();
  if (cancelled) queries_.PrintQueryText(kCanceled, MessageClass::Server);
}

bool Connection::DialogGone() const { return !dialog_ || !dialog_->IsOpen() || dialog_->IsCancelled(); }

void Connection::CloseDialog() {
  if (dialog_) dialog_->End();
  StopTimer();
}

void Connection::StopTimer() {
  if (!timer_) return;
  ui_.KillTimer(*timer_);
  timer_.reset();
}

// Takes one repetition. False, after the error line, when none was left.
bool Connection::CountDown(std::string_view error) {
  const int taken = retries_left_--;
  if (taken <= 0) {
    Announce(error);
    CloseDialog();
    return false;
  }
  dialog_->SetCountdown(retries_left_);
  return true;
}

// True when there was something to repeat.
bool Connection::RepeatServerMessage() {
  const ServerReply reply = board_.Reply();
  if (saying_hello_ && !EndsGreeting(reply)) {
    SendHello();
    return true;
  }
  if (saying_bye_ && !EndsBye(reply)) {
    SendFrame(addresses_.server.Load(), kTypeBye);
    return true;
  }
  return false;
}

void Connection::ServerTick() {
  if (DialogGone()) {
    CloseDialog();
    addresses_.server.Clear();
    return;
  }
  if (++parity_ >= 2) {
    parity_ = 0;
    if (RepeatServerMessage() && !CountDown(kNoServerResponse)) return;
  }
  dialog_->Tick();
  ActOnServerReply(board_.Reply());
}

void Connection::ActOnServerReply(ServerReply reply) {
  switch (reply) {
    case ServerReply::kByeAcknowledged:
      if (!saying_bye_) return;
      addresses_.server.Clear();
      Announce(kDisconnected);
      CloseDialog();
      return;
    case ServerReply::kAccepted:
      if (!saying_hello_) return;
      CloseDialog();
      AdoptServer();
      return;
    case ServerReply::kNicknameRejected:
      Announce(kNickCollision);
      break;
    case ServerReply::kSubnetFull:
      Announce(kSubnetFull);
      break;
    case ServerReply::kVersionDiffers:
      Announce(kVersionDiffers);
      break;
    default:
      return;
  }
  CloseDialog();
}

void Connection::ProxyTick() {
  if (DialogGone()) {
    CloseDialog();
    return;
  }
  if (++parity_ >= 2) {
    parity_ = 0;
    if (board_.Reply() != ServerReply::kProxyWelcome) {
      SendFrame(addresses_.proxy.Load(), kTypeProxyHello);
      if (!CountDown(kNoProxyResponse)) return;
    }
  }
  dialog_->Tick();
  if (board_.Reply() != ServerReply::kProxyWelcome) return;
  Announce(kConnectedToProxyLate);
  proxy_connected_ = true;
  CloseDialog();
}

}  // namespace vorn
