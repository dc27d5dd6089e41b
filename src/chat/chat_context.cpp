#include "chat/chat_context.h"

#include <algorithm>
#include <utility>

#include "chat/chat_packet.h"

namespace vorn {

ChatContext::ChatContext(const ChatPorts& ports, ChatSendFunction send, ChatQueryHooks query_hooks,
                         PeerCapabilities* shared_capabilities, bool progress_lines)
    : clock(ports.clock),
      ui(ports.ui),
      dialogs(ports.dialogs),
      settings(ports.settings),
      addresses(ports.addresses),
      windows(ports.windows),
      queries(std::move(query_hooks)),
      capabilities(shared_capabilities != nullptr ? *shared_capabilities : own_capabilities_),
      progressLines(progress_lines),
      send_(std::move(send)) {}

void ChatContext::Emit(ChatOutput& out) {
  Transmit(out);
  for (const ChatLine& line : out.lines()) {
    if (line.to_input) {
      windows.PrintToInputWindow(line.input, line.text, line.colour);
    } else {
      windows.PrintToChannel(line.channel, line.text, line.colour);
    }
  }
  if (out.refreshChatList()) windows.RefreshChatList();
  // Emit also runs on the receive thread; the beep is the UI's to make.
  if (out.beep()) ui.Post([&ui_dialogs = dialogs] { ui_dialogs.Beep(); });
}

// Each datagram, a resent copy too, leaves as a new frame numbered here, so
// that a receiver which drops frames older than the newest one from us
// does not drop it. Taken after the state lock is released: see the file
// comment of the header.
void ChatContext::Transmit(ChatOutput& out) {
  if (out.datagrams().empty() || !send_) return;
  std::lock_guard lock(send_mutex_);
  for (const ChatDatagram& datagram : out.datagrams()) {
    std::span<uint8_t> bytes = out.Bytes(datagram);
    SetChatSequence(bytes, ++sequence_);
    send_(datagram.to, bytes);
  }
}

void ChatContext::ReadSettings() {
  beep_on_private_.store(settings.settings().beep_on_private, std::memory_order_relaxed);
  windowed_transfers_.store(settings.settings().windowed_transfers, std::memory_order_relaxed);
}

// The node's own flags and the chat's: one announcement, the same wherever
// it is carried.
uint32_t ChatContext::OwnCapabilities() const {
  const uint32_t windowed = WindowedTransfers() ? capability::kWindowedTransfer : 0;
  return (capabilities.Own() & ~capability::kWindowedTransfer) | windowed;
}

}  // namespace vorn
