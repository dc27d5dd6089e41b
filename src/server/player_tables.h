#pragma once
// What the local server shows of its players: the two text tables it
// answers queries with and the figures in them. Pure functions over the
// entries, so their bytes can be checked without a socket.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "server/client_table.h"

namespace vorn {

// The whole "w" answer: "VORNw", the table text and its terminating zero,
// written into out. Rows that would not fit are left out. Returns the size.
size_t BuildPlayerList(std::span<uint8_t> out, const ClientEntries& entries, int64_t now_s);
size_t BuildNamesList(std::span<uint8_t> out, const ClientEntries& entries);

// The players' addresses in a player list's text (the "w" answer without
// "VORNw"), as many as fit into out; nullopt when the text is no player
// list. Rows that do not hold an address and a port are skipped.
std::optional<size_t> PlayerListAddresses(std::string_view text, std::span<PeerAddress> out);

// Lost pings in percent; 0 before any ping and when more replies came back
// than pings went out.
int32_t LossPercent(int32_t pings_sent, int32_t ping_replies);
// The next smoothed round trip: the first measurement as it is, then 70 %
// of the old average and 30 % of the new value.
int32_t SmoothedPing(int32_t average_ms, int32_t round_trip_ms);

// Two games that move their IPX socket show how far it moved from their
// usual one, e.g. "DESCENTR(+3)", kept inside the field.
void DecorateProcessName(std::array<char, kProcessNameField>& name, uint16_t game_socket);

}  // namespace vorn
