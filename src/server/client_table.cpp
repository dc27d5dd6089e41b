#include "server/client_table.h"

namespace vorn {

int ClientTable::Locked::AllocateClient(PeerAddress client, int64_t now_s) {
  // A client that greets again gives up its old entry first, so it never
  // holds two.
  if (int old = IndexOf(client); old >= 0) entries_[static_cast<size_t>(old)].address = {};
  for (int index = 0; index < kClientCount; ++index) {
    ClientEntry& entry = (*this)[index];
    if (entry.InUse()) continue;
    ClearClient(index);
    entry.address = client;
    entry.last_seen_s = now_s;
    entry.connected_since_s = now_s;
    entry.real_name.fill(0);
    entry.email.fill(0);
    return index;
  }
  return -1;
}

int ClientTable::Locked::FindClient(PeerAddress client, int64_t now_s) {
  int index = IndexOf(client);
  if (index >= 0) (*this)[index].last_seen_s = now_s;
  return index;
}

int ClientTable::Locked::IndexOf(PeerAddress client) const {
  for (int index = 0; index < kClientCount; ++index)
    if (entries_[static_cast<size_t>(index)].InUse() && entries_[static_cast<size_t>(index)].address == client)
      return index;
  return -1;
}

void ClientTable::Locked::ClearClient(int index) {
  if (index < 0 || index >= kClientCount) return;
  ClientEntry& entry = (*this)[index];
  entry.address = {};
  entry.last_seen_s = 0;
  entry.connected_since_s = 0;
  entry.pings_sent = 0;
  entry.ping_replies = 0;
  entry.average_ping_ms = 0;
  entry.game_socket = 0;
  entry.via = {};
  entry.frames_relayed = 0;
  entry.bytes_relayed = 0;
  entry.broadcasts.Reset();
  entry.nickname.fill(0);
  entry.process_name.fill(0);
}

}  // namespace vorn
