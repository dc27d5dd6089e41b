#include "ipx/driver_link.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/text.h"

namespace vorn {

namespace {

constexpr std::string_view kInitCaption = "Initialization Error";
constexpr uint32_t kErrorNoIoctl = 50;  // the device does not support I/O control
constexpr std::string_view kNoIoctlText = "Unable to open VxD, device does not support DeviceIOCTL";
constexpr const char* kOpenFailedFormat =
    "Unable to open VxD(%x).  Make sure VORN95.VXD is in the Vorn95 directory or in the PATH.\n";
constexpr std::string_view kNoThreadText = "Error Creating Send Thread\n";
// The register call's result, which is zero whenever it fails.
constexpr const char* kRegisterFailedFormat = "Device does not support the requested API.  Error:%X\n";

// The running program's directory with its trailing "/"; nullopt when it
// cannot be read (or does not fit the buffer), and then nothing is written.
std::optional<std::string> ProgramDirectory() {
  std::array<char, 4096> path{};
  ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return std::nullopt;
  std::string_view full(path.data(), static_cast<size_t>(length));
  size_t slash = full.rfind('/');
  if (slash == std::string_view::npos) return std::nullopt;
  return std::string(full.substr(0, slash + 1));
}

}  // namespace

DriverLink::DriverLink(const DriverLinkPorts& ports, ForwardSlot forward, int32_t send_wait_ms)
    : ports_(ports), forward_(std::move(forward)), send_wait_ms_(send_wait_ms) {}

DriverLink::~DriverLink() { CloseDriverLink(); }

// There is no named event to create and no ring-0 handle to derive from it:
// the driver port owns its event (WaitForEvent / Wake). Nor is there a socket
// library to shut down on failure; the UDP endpoint owns its socket.
bool DriverLink::OpenDriverLink() {
  CloseDriverLink();  // opening twice would leave a second send thread behind
  WriteLocation();
  if (!OpenDevice()) return false;
  if (!StartSendThread()) {
    ports_.driver.Close();
    return false;
  }
  open_.store(true, std::memory_order_release);
  Register();
  return true;
}

void DriverLink::WriteLocation() {
  if (std::optional<std::string> directory = ProgramDirectory()) {
    ports_.profile.WriteString("Misc", "Location", *directory);
  }
}

// The driver looks for its device itself (beside the program first, then by
// name); the program only reports the last error.
bool DriverLink::OpenDevice() {
  uint32_t error = 0;
  if (ports_.driver.Open(error)) return true;
  if (std::string described = ports_.driver.DescribeOpenError(error); !described.empty()) {
    ports_.dialogs.ShowMessage(kInitCaption, described);
  } else if (error == kErrorNoIoctl) {
    ports_.dialogs.ShowMessage(kInitCaption, kNoIoctlText);
  } else {
    ports_.dialogs.ShowMessage(kInitCaption, Format(kOpenFailedFormat, static_cast<unsigned>(error)));
  }
  return false;
}

// Normal priority: real-time scheduling needs privileges that a desktop
// user does not have, and the thread does little work per packet.
bool DriverLink::StartSendThread() {
  try {
    send_thread_ = std::jthread([this](std::stop_token stop) { DriverSendLoop(std::move(stop)); });
  } catch (const std::system_error&) {
    ports_.window.Append(kNoThreadText, MessageClass::Server);
    return false;
  }
  return true;
}

// The frame headers are written before the send thread may look at the
// ring, so it never sends a slot whose header is half written.
void DriverLink::Register() {
  LinkInfo info{ports_.addresses.local.Load()};
  std::span<uint8_t> memory;
  PacketRing ring;
  if (ports_.driver.Register(info, memory)) ring = PacketRing(memory);
  if (!ring.valid()) {
    std::fputs(Format(kRegisterFailedFormat, 0u).c_str(), stdout);
    std::fflush(stdout);
    return;
  }
  ring.WriteFrameHeaders();
  ring_ = ring;
  ring_ready_.store(true, std::memory_order_release);
  ports_.driver.Wake();  // slots filled before the ring was ready
}

// Drains after every wake-up, also one that timed out: a drain of an empty
// ring reads one byte, and a lost signal then delays packets instead of
// stranding them.
void DriverLink::DriverSendLoop(std::stop_token stop) {
  while (!stop.stop_requested()) {
    ports_.driver.WaitForEvent(send_wait_ms_);
    if (stop.stop_requested()) break;
    if (!ring_ready_.load(std::memory_order_acquire)) continue;
    ports_.driver.BeginDrainPass();
    DrainRing(ring_, forward_);
    ports_.driver.EndDrainPass();
  }
}

void DriverLink::CloseDriverLink() {
  if (!open_.exchange(false, std::memory_order_acq_rel)) return;
  if (send_thread_.joinable()) {
    JoiningWorkers joining(ports_.window);
    send_thread_.request_stop();
    ports_.driver.Wake();
    send_thread_.join();
  }
  ring_ready_.store(false, std::memory_order_release);
  ring_ = PacketRing();
  ports_.driver.Close();
}

bool DriverLink::RestartDriverLink() {
  CloseDriverLink();
  return OpenDriverLink();
}

void DriverLink::DeliverToDriver(PeerAddress sender, std::span<const uint8_t> frame, bool broadcast) {
  if (IsOpen()) ports_.driver.Deliver(sender, frame, broadcast);
}

GameQuery DriverLink::QueryDriverGame() {
  if (!IsOpen()) return {};
  return ports_.driver.QueryGame();
}

}  // namespace vorn
