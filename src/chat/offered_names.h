#pragma once
// The files other users announced ("[N] name" after "offers the following
// files"), so that /get without a file name can save under the offered
// one. The names come from other machines: only their last part is kept,
// so an offer can never place a download outside its folder.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "chat/chat_files.h"
#include "platform/peer_address.h"

namespace vorn {

// The last part of a path from another system ('/', '\\' and a drive's
// ':' all separate); empty when nothing usable is left ("", ".", "..", or a
// name with control characters).
std::string SafeFileName(std::string_view name);

class OfferedNames {
 public:
  // Senders remembered; the one heard from longest ago makes room.
  static constexpr size_t kSenders = 32;

  // An action line from sender: "[N] name" records name under N.
  void Note(PeerAddress sender, std::string_view action_text);
  // What sender last announced under slot, made safe; empty when nothing.
  std::string NameOf(PeerAddress sender, int32_t slot) const;

 private:
  struct Sender {
    PeerAddress address;
    uint64_t heard = 0;  // the order Note saw it in
    std::array<std::string, OfferTable::kSlots> names;
  };
  std::vector<Sender> senders_;
  uint64_t notes_ = 0;
};

// The file a download is written to: typed when the user gave a name, else
// offered; a relative one is taken from directory (empty: left relative).
// Empty when neither names a file.
std::string DownloadTarget(const std::filesystem::path& directory, std::string_view typed, std::string_view offered);

}  // namespace vorn
