#include "server/player_tables.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "net/messages.h"
#include "platform/text.h"

namespace vorn {
namespace {

// Byte 0xC4 is the horizontal line of the players' code page.
constexpr std::string_view kPlayerListHeader =
    " # Nickname        IP Number       Port  Process        Time  Ping Loss\n";
constexpr std::string_view kPlayerListUnderline =
    " \xC4 \xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4        \xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4       \xC4\xC4\xC4\xC4"
    "  \xC4\xC4\xC4\xC4\xC4\xC4\xC4        \xC4\xC4\xC4\xC4  \xC4\xC4\xC4\xC4 \xC4\xC4\xC4\xC4\n";
// Names are padded by characters, so that rows with non-ASCII names line up.
constexpr const char* kPlayerRow = "%2d %s %-15.15s %-5u %-13.13s %5lu %5lu %4lu\n";

constexpr std::string_view kNamesHeader = " # Nickname        Real Name                 Email\n";
constexpr std::string_view kNamesUnderline =
    " \xC4 \xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4        \xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4"
    "                 \xC4\xC4\xC4\xC4\xC4\n";
constexpr const char* kNamesRow = "%2d %s %s %s\n";

// A text answer built in place: "VORNw", then lines for as long as they fit
// whole, always followed by the terminating zero.
class ReplyText {
 public:
  explicit ReplyText(std::span<uint8_t> out) : out_(out) {
    if (out_.size() <= kFrameSize) {
      full_ = true;
      return;
    }
    std::memcpy(out_.data(), kMagic.data(), kMagic.size());
    out_[kTypeOffset] = static_cast<uint8_t>(kTypeTextLine);
    out_[pos_] = 0;
  }

  void Add(std::string_view text) { AddFormatted("%.*s", static_cast<int>(text.size()), text.data()); }

  __attribute__((format(printf, 2, 3))) void AddFormatted(const char* format, ...) {
    if (full_) return;
    const size_t room = out_.size() - pos_;  // the zero included
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(reinterpret_cast<char*>(out_.data() + pos_), room, format, args);
    va_end(args);
    if (length < 0 || static_cast<size_t>(length) >= room) {
      // A cut line would misalign the table: drop it and everything after.
      out_[pos_] = 0;
      full_ = true;
      return;
    }
    pos_ += static_cast<size_t>(length);
  }

  size_t Finish() const { return out_.size() > kFrameSize ? pos_ + 1 : 0; }

 private:
  std::span<uint8_t> out_;
  size_t pos_ = kFrameSize;
  bool full_ = false;
};

unsigned long MinutesConnected(const ClientEntry& entry, int64_t now_s) {
  // A calendar clock set back must not show a connection of 71 million years.
  const int64_t seconds = now_s - entry.connected_since_s;
  return seconds > 0 ? static_cast<unsigned long>(seconds / 60) : 0;
}

}  // namespace

size_t BuildPlayerList(std::span<uint8_t> out, const ClientEntries& entries, int64_t now_s) {
  ReplyText text(out);
  text.Add(kPlayerListHeader);
  text.Add(kPlayerListUnderline);
  for (int index = 0; index < kClientCount; ++index) {
    const ClientEntry& entry = entries[static_cast<size_t>(index)];
    if (!entry.InUse()) continue;
    const uint32_t ip = entry.address.ip;
    std::array<char, 16> dotted{};
    std::snprintf(dotted.data(), dotted.size(), "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF,
                  ip & 0xFF);
    text.AddFormatted(kPlayerRow, index, PadColumn(entry.Nickname(), 15).c_str(), dotted.data(),
                      unsigned{entry.address.port}, entry.process_name.data(), MinutesConnected(entry, now_s),
                      static_cast<unsigned long>(entry.average_ping_ms > 0 ? entry.average_ping_ms : 0),
                      static_cast<unsigned long>(LossPercent(entry.pings_sent, entry.ping_replies)));
  }
  return text.Finish();
}

size_t BuildNamesList(std::span<uint8_t> out, const ClientEntries& entries) {
  ReplyText text(out);
  text.Add(kNamesHeader);
  text.Add(kNamesUnderline);
  for (int index = 0; index < kClientCount; ++index) {
    const ClientEntry& entry = entries[static_cast<size_t>(index)];
    if (!entry.InUse()) continue;
    text.AddFormatted(kNamesRow, index, PadColumn(entry.Nickname(), 15).c_str(),
                      PadColumn(entry.RealName(), 25).c_str(), PadColumn(entry.Email(), 30).c_str());
  }
  return text.Finish();
}

namespace {

// The address field of a player row: dotted digits padded to 15 bytes.
bool IsAddressField(std::string_view field) {
  size_t dots = 0, at = 0;
  for (; at < field.size() && (std::isdigit(static_cast<unsigned char>(field[at])) || field[at] == '.'); ++at)
    dots += field[at] == '.' ? 1 : 0;
  if (dots != 3 || at == 0) return false;
  for (; at < field.size(); ++at)
    if (field[at] != ' ') return false;
  return true;
}

}  // namespace

std::optional<size_t> PlayerListAddresses(std::string_view text, std::span<PeerAddress> out) {
  // A row: index, nickname (15 characters, more bytes when not ASCII),
  // address (15 bytes), port; each after a blank.
  constexpr size_t kFirstAddressColumn = 19;
  constexpr size_t kAddressField = 15;
  if (!text.starts_with(kPlayerListHeader)) return std::nullopt;
  size_t count = 0;
  for (size_t at = kPlayerListHeader.size(); at < text.size() && count < out.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view row = text.substr(at, end - at);
    at = end + 1;
    for (size_t column = kFirstAddressColumn; column + kAddressField + 1 < row.size(); ++column) {
      if (row[column - 1] != ' ' || !IsAddressField(row.substr(column, kAddressField)) ||
          row[column + kAddressField] != ' ')
        continue;
      const uint32_t ip = ParseDottedQuad(row.substr(column, kAddressField));
      unsigned port = 0;
      size_t digit = column + kAddressField + 1;
      for (; digit < row.size() && std::isdigit(static_cast<unsigned char>(row[digit])) && port <= 0xFFFF; ++digit)
        port = port * 10 + static_cast<unsigned>(row[digit] - '0');
      if (ip != 0 && port != 0 && port <= 0xFFFF) out[count++] = {ip, static_cast<uint16_t>(port)};
      break;
    }
  }
  return count;
}

int32_t LossPercent(int32_t pings_sent, int32_t ping_replies) {
  if (pings_sent <= 0 || pings_sent < ping_replies) return 0;
  return static_cast<int32_t>((int64_t{pings_sent} - ping_replies) * 100 / pings_sent);
}

int32_t SmoothedPing(int32_t average_ms, int32_t round_trip_ms) {
  if (average_ms == 0) return round_trip_ms;
  // Wide arithmetic: a forged time stamp can make a round trip of 2^31 ms.
  return static_cast<int32_t>((int64_t{average_ms} * 7 + int64_t{round_trip_ms} * 3) / 10);
}

void DecorateProcessName(std::array<char, kProcessNameField>& name, uint16_t game_socket) {
  struct MovableGame {
    std::string_view prefix;
    int usual_socket;
  };
  constexpr std::array<MovableGame, 2> kMovableGames = {{{"DESCENTR", 0x5100}, {"D2DEMO", 0x5110}}};

  const std::string_view current = ClientEntry::FieldText(name);
  for (const MovableGame& game : kMovableGames) {
    if (!current.starts_with(game.prefix) || game_socket == game.usual_socket) continue;
    const int difference = static_cast<int16_t>(game_socket) - game.usual_socket;
    std::array<char, kProcessNameField + 8> decorated{};
    const int length =
        std::snprintf(decorated.data(), decorated.size(), "%.*s(%c%d)", static_cast<int>(game.prefix.size()),
                      game.prefix.data(), difference > 0 ? '+' : '-', std::abs(difference));
    if (length > 0) StoreFieldText(name, {decorated.data(), static_cast<size_t>(length)}, kProcessNameField - 1);
    return;
  }
}

}  // namespace vorn
