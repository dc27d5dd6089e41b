#pragma once
// The local server's table of its players: four fixed entries, entry 0
// normally the server's own player. The receive thread's handlers and the
// UI thread's tick both use it, so the entries are reachable only through a
// Locked view that holds the table's one mutex for as long as it lives.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "net/messages.h"
#include "net/recent_sequences.h"
#include "platform/peer_address.h"

namespace vorn {

inline constexpr int kClientCount = 4;
inline constexpr size_t kRealNameField = 30;
inline constexpr size_t kEmailField = 40;
inline constexpr size_t kProcessNameField = 16;

struct ClientEntry {
  PeerAddress address;                                 // address and port 0: free
  std::array<char, kNicknameField> nickname{};         // always zero-terminated
  std::array<char, kRealNameField> real_name{};        // unterminated when full
  std::array<char, kEmailField> email{};               // unterminated when full
  int64_t last_seen_s = 0;                             // calendar seconds
  int64_t connected_since_s = 0;                       // calendar seconds
  std::array<char, kProcessNameField> process_name{};  // always zero-terminated
  int32_t pings_sent = 0;
  int32_t ping_replies = 0;
  int32_t average_ping_ms = 0;  // 0: none measured yet
  uint16_t game_socket = 0;     // host order
  // The proxy other than the server's own through which the client greeted
  // (its wraps count only from there); unset: it greeted directly.
  PeerAddress via;
  uint64_t frames_relayed = 0;  // broadcasts from this player passed on
  uint64_t bytes_relayed = 0;   // the datagrams sent for them, in all
  // The broadcasts' sequence numbers: a protected copy is relayed once.
  RecentSequences broadcasts;

  bool InUse() const { return address.ip != 0 || address.port != 0; }
  std::string_view Nickname() const { return FieldText(nickname); }
  std::string_view RealName() const { return FieldText(real_name); }
  std::string_view Email() const { return FieldText(email); }
  std::string_view ProcessName() const { return FieldText(process_name); }

  // The text of a field up to its zero, never past the field.
  template <size_t N>
  static std::string_view FieldText(const std::array<char, N>& field) {
    size_t length = 0;
    while (length < N && field[length] != 0) ++length;
    return {field.data(), length};
  }
};

// Fills a text field with text cut to max_chars, zero-filling the rest.
template <size_t N>
void StoreFieldText(std::array<char, N>& field, std::string_view text, size_t max_chars) {
  field.fill(0);
  const size_t count = std::min({text.size(), max_chars, N});
  for (size_t i = 0; i < count; ++i) field[i] = text[i];
}

using ClientEntries = std::array<ClientEntry, kClientCount>;

class ClientTable {
 public:
  // The table while its lock is held. Never call out to unknown code (the
  // message window among it) while one is alive.
  class Locked {
   public:
    // Frees an entry this client already holds, then takes the first free
    // entry and starts it afresh at now_s. -1 when the table is full.
    int AllocateClient(PeerAddress client, int64_t now_s);
    // The entry of this client, its last seen time set to now_s; -1 if none.
    int FindClient(PeerAddress client, int64_t now_s);
    // The entry of this client without touching it; -1 if none.
    int IndexOf(PeerAddress client) const;
    void ClearClient(int index);

    ClientEntry& operator[](int index) { return entries_[static_cast<size_t>(index)]; }
    const ClientEntries& entries() const { return entries_; }

   private:
    friend class ClientTable;
    explicit Locked(ClientTable& table) : lock_(table.mutex_), entries_(table.entries_) {}

    std::unique_lock<std::mutex> lock_;
    ClientEntries& entries_;
  };

  Locked Lock() { return Locked(*this); }
  // A copy of every entry, for readers outside the handlers.
  ClientEntries Snapshot() {
    std::lock_guard lock(mutex_);
    return entries_;
  }

 private:
  std::mutex mutex_;
  ClientEntries entries_{};
};

}  // namespace vorn
