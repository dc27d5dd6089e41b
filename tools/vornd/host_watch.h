#pragma once
// What someone running a host watches: a line for every player who joins,
// leaves or is refused; a table of the players on demand; and a small JSON
// document, rewritten every few seconds, for monitoring scripts.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/link_monitor.h"
#include "platform/clock.h"
#include "platform/message_window.h"
#include "platform/ui_loop.h"
#include "server/client_table.h"
#include "server/server_events.h"

namespace vorn {

// The lines go to out, whole, from whichever thread the server calls on:
// a window that never waits (a QueuedMessageWindow), since the server calls
// from the receive thread and a flood of refusals must not stall it.
class HostLog final : public ServerEvents {
 public:
  // links, when given, adds the player's link summary to the line of a
  // player who leaves.
  explicit HostLog(MessageWindow& out, const LinkMonitor* links = nullptr) : out_(out), links_(links) {}
  void OnPlayerJoined(const PlayerNote& player) override;
  void OnPlayerLeft(const PlayerNote& player, LeaveReason reason) override;
  void OnPlayerRefused(const PlayerNote& player, std::string_view why) override;

 private:
  void Line(std::string_view what, const PlayerNote& player, std::string_view reason);
  MessageWindow& out_;
  const LinkMonitor* links_;
};

// "round trip 52 ms, jitter 4 ms, loss 4.8%, protected": one link's figures.
std::string LinkSummary(const LinkReport& report);
// One line per link, named by the player at its address where there is one.
std::string LinkTable(const std::vector<LinkReport>& reports, const ClientEntries& entries);

// Nicknames come from strangers: control characters, which could forge log
// lines or move a terminal's cursor, are shown as '?'.
std::string PrintableName(std::string_view name);

// Round trip, loss, frames and bytes relayed per player.
std::string PlayerTable(const ClientEntries& entries, int64_t uptime_s);
// {"uptime_s":..,"players":[{"nickname":..,"address":..,...}],"frames_relayed":..,"bytes_relayed":..}
std::string StatsJson(const ClientEntries& entries, int64_t uptime_s);
// Writes text to a temporary file beside path and renames it over path,
// so a reader never sees half a document. False when either step failed.
bool ReplaceFile(const std::string& path, std::string_view text);

// The stats file, written now, every kPeriodMs and once more at the end.
class StatsFile {
 public:
  static constexpr int32_t kPeriodMs = 5000;
  StatsFile(UiLoop& loop, Clock& clock, ClientTable& table, std::string path);
  ~StatsFile();
  StatsFile(const StatsFile&) = delete;
  StatsFile& operator=(const StatsFile&) = delete;
  void Write();

 private:
  UiLoop& loop_;
  Clock& clock_;
  ClientTable& table_;
  std::string path_;
  int64_t started_s_;
  std::optional<UiLoop::TimerId> timer_;
  bool failed_ = false;  // said once, not every five seconds
};

}  // namespace vorn
