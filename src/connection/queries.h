#pragma once
// The questions a user asks a server or the tracker, and where their answers
// are printed. A request is one datagram; nothing waits for or repeats it.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "net/shared_addresses.h"
#include "net/udp_endpoint.h"
#include "platform/message_window.h"
#include "platform/ui_loop.h"
#include "settings/settings_store.h"

namespace vorn {

class Queries {
 public:
  // How long an update of the server list waits for the tracker's answer
  // before it says that none came.
  static constexpr int32_t kTrackerWaitMs = 10000;

  Queries(UiLoop& ui, MessageWindow& window, SettingsStore& settings, SharedAddresses& addresses,
          const UdpEndpoint& endpoint);
  Queries(const Queries&) = delete;
  Queries& operator=(const Queries&) = delete;
  ~Queries();

  // UI thread. Each announces itself with PrintQueryText, then sends. The
  // commands that ask the connected server are offered only while connected;
  // without a server the announcement is printed and nothing is sent.
  void RequestPlayerList();
  void RequestNamesList();
  // Does nothing at all while not connected.
  void RequestMotd();
  void RequestPlayerInfo(std::string_view nickname);
  // Works without a connection; does nothing for an address that does not
  // parse.
  void QueryServerPlayers(std::string_view name, std::string_view address);
  void RequestServerList();
  void UpdateServerList();

  // UI thread: text into the view activated last, or into the message window
  // when "Redirect Queries" is on.
  void PrintQueryText(std::string_view text, MessageClass cls);
  // UI thread: merges a tracker's list and saves the list once when any
  // entry was added. Returns how many were.
  size_t MergeServerList(std::string_view text);

  // Any thread (the receive thread): the text is copied and printed, or
  // merged, on the UI thread, which owns the views and the server list.
  void PostQueryText(std::string_view text, std::string_view line_end);
  void PostServerList(std::string_view text);

  // Receive thread: whether a text or a server list from source answers
  // something this node asked. Texts come from the connected server, the
  // tracker (its answers about players), or once from a server just asked
  // for its players; a server list once per request, from the tracker.
  bool TakeTextFrom(PeerAddress source);
  bool TakeServerListFrom(PeerAddress source);

 private:
  // Requests whose answers may still come: a few, the oldest forgotten.
  static constexpr size_t kAwaitedAnswers = 4;
  void SendFrame(PeerAddress to, char type);
  bool AskTracker(std::string_view announcement, char type);
  void EndTrackerWait();

  UiLoop& ui_;
  MessageWindow& window_;
  SettingsStore& settings_;
  SharedAddresses& addresses_;
  const UdpEndpoint& endpoint_;
  std::optional<UiLoop::TimerId> tracker_wait_;  // an update waits for its answer
  // Posted work checks it, so a task that outlives this object does nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  // Servers asked for their players outside a connection (UI thread writes,
  // the receive thread takes each once).
  std::array<AtomicPeerAddress, kAwaitedAnswers> queried_servers_;
  std::atomic<uint32_t> next_queried_{0};
  std::atomic<int> awaited_server_lists_{0};
};

}  // namespace vorn
