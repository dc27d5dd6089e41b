#include "host_watch.h"

#include <unistd.h>

#include <cstdio>

#include "platform/peer_address.h"
#include "platform/text.h"

namespace vorn {
namespace {

// Not yet measured: "-".
std::string RoundTrip(const ClientEntry& entry) {
  return entry.average_ping_ms > 0 ? Format("%d ms", entry.average_ping_ms) : "-";
}

// Pings without a reply, of those sent.
int LossPercent(const ClientEntry& entry) {
  if (entry.pings_sent <= 0) return 0;
  const int32_t lost = entry.pings_sent > entry.ping_replies ? entry.pings_sent - entry.ping_replies : 0;
  return static_cast<int>(lost * 100 / entry.pings_sent);
}

std::string Uptime(int64_t seconds) {
  return Format("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60));
}

// A JSON string; bytes that are not ASCII are escaped one by one, so the
// document stays valid whatever a nickname holds.
std::string JsonText(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      out += Format("\\u%04x", byte);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

std::string PrintableName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

void HostLog::OnPlayerJoined(const PlayerNote& player) { Line("joined", player, {}); }

void HostLog::OnPlayerLeft(const PlayerNote& player, LeaveReason reason) {
  Line("left", player, reason == LeaveReason::kBye ? "bye" : "timeout");
  LinkReport report;
  if (links_ != nullptr && links_->Report(player.address, report))
    out_.Append("vornd: link to " + PrintableName(player.Nickname()) + ": " + LinkSummary(report) + "\n",
                MessageClass::Server);
}

void HostLog::OnPlayerRefused(const PlayerNote& player, std::string_view why) { Line("refused", player, why); }

void HostLog::Line(std::string_view what, const PlayerNote& player, std::string_view reason) {
  std::string line = "vornd: player " + std::string(what) + ": " + PrintableName(player.Nickname()) + " at " +
                     FormatPeer(player.address);
  if (!reason.empty()) line += " (" + PrintableName(reason) + ")";
  line += '\n';
  out_.Append(line, MessageClass::Server);
}

std::string LinkSummary(const LinkReport& report) {
  if (!report.answers)
    return Format("no answer to probes (not a Vorn node), %llu frames sent, %llu received",
                  static_cast<unsigned long long>(report.sent), static_cast<unsigned long long>(report.received));
  return Format("round trip %d ms, jitter %d ms, loss %.1f%%, %s", report.rtt_ms, report.jitter_ms, report.loss_percent,
                report.protecting ? "protected" : "unprotected");
}

std::string LinkTable(const std::vector<LinkReport>& reports, const ClientEntries& entries) {
  std::string text = "vornd: links\n";
  for (const LinkReport& report : reports) {
    std::string name = "-";
    for (const ClientEntry& entry : entries)
      if (entry.InUse() && entry.address == report.peer) name = PrintableName(entry.Nickname());
    text += Format("  %-15s %-21s %s\n", name.c_str(), FormatPeer(report.peer).c_str(), LinkSummary(report).c_str());
  }
  if (reports.empty()) text += "  (no links)\n";
  return text;
}

std::string PlayerTable(const ClientEntries& entries, int64_t uptime_s) {
  std::string text =
      "vornd: players, up " + Uptime(uptime_s) + "\n" +
      Format("  %-15s %-21s %10s %5s %10s %12s\n", "Nickname", "Address", "Round trip", "Loss", "Frames", "Bytes");
  int count = 0;
  for (const ClientEntry& entry : entries) {
    if (!entry.InUse()) continue;
    ++count;
    text += Format("  %-15s %-21s %10s %4d%% %10llu %12llu\n", PrintableName(entry.Nickname()).c_str(),
                   FormatPeer(entry.address).c_str(), RoundTrip(entry).c_str(), LossPercent(entry),
                   static_cast<unsigned long long>(entry.frames_relayed),
                   static_cast<unsigned long long>(entry.bytes_relayed));
  }
  if (count == 0) text += "  (no players)\n";
  return text;
}

std::string StatsJson(const ClientEntries& entries, int64_t uptime_s) {
  uint64_t frames = 0;
  uint64_t bytes = 0;
  std::string players;
  for (const ClientEntry& entry : entries) {
    if (!entry.InUse()) continue;
    frames += entry.frames_relayed;
    bytes += entry.bytes_relayed;
    if (!players.empty()) players += ",";
    players += Format(
        "{\"nickname\":%s,\"address\":\"%s\",\"round_trip_ms\":%d,\"loss_percent\":%d,"
        "\"frames_relayed\":%llu,\"bytes_relayed\":%llu}",
        JsonText(entry.Nickname()).c_str(), FormatPeer(entry.address).c_str(), entry.average_ping_ms,
        LossPercent(entry), static_cast<unsigned long long>(entry.frames_relayed),
        static_cast<unsigned long long>(entry.bytes_relayed));
  }
  return Format("{\"uptime_s\":%lld,\"players\":[%s],\"frames_relayed\":%llu,\"bytes_relayed\":%llu}\n",
                static_cast<long long>(uptime_s), players.c_str(), static_cast<unsigned long long>(frames),
                static_cast<unsigned long long>(bytes));
}

bool ReplaceFile(const std::string& path, std::string_view text) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

StatsFile::StatsFile(UiLoop& loop, Clock& clock, ClientTable& table, std::string path)
    : loop_(loop), clock_(clock), table_(table), path_(std::move(path)), started_s_(clock.NowSeconds()) {
  Write();
  timer_ = loop_.StartTimer(kPeriodMs, [this] { Write(); });
}

StatsFile::~StatsFile() {
  if (timer_) loop_.KillTimer(*timer_);
  Write();
}

void StatsFile::Write() {
  const bool ok = ReplaceFile(path_, StatsJson(table_.Snapshot(), clock_.NowSeconds() - started_s_));
  if (!ok && !failed_) std::fprintf(stderr, "vornd: cannot write the stats file %s\n", path_.c_str());
  failed_ = !ok;
}

}  // namespace vorn
