#include "chat/offered_names.h"

#include <algorithm>

namespace vorn {

std::string SafeFileName(std::string_view name) {
  const size_t separator = name.find_last_of("/\\:");
  if (separator != std::string_view::npos) name.remove_prefix(separator + 1);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (name.empty() || name == "." || name == ".." || name.size() > OfferTable::kMaxName) return {};
  const bool control = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F;
  });
  return control ? std::string() : std::string(name);
}

void OfferedNames::Note(PeerAddress sender, std::string_view action_text) {
  // "[N] name", N one of the offer slots.
  if (action_text.size() < 5 || action_text[0] != '[' || action_text[2] != ']' || action_text[3] != ' ') return;
  const int slot = action_text[1] - '0';
  if (slot < 0 || slot >= OfferTable::kSlots) return;
  auto found = std::find_if(senders_.begin(), senders_.end(), [&](const Sender& s) { return s.address == sender; });
  if (found == senders_.end()) {
    if (senders_.size() < kSenders) {
      found = senders_.emplace(senders_.end());
    } else {
      found = std::min_element(senders_.begin(), senders_.end(),
                               [](const Sender& a, const Sender& b) { return a.heard < b.heard; });
      *found = Sender{};
    }
    found->address = sender;
  }
  found->heard = ++notes_;
  found->names[static_cast<size_t>(slot)] = SafeFileName(action_text.substr(4));
}

std::string OfferedNames::NameOf(PeerAddress sender, int32_t slot) const {
  if (slot < 0 || slot >= OfferTable::kSlots) return {};
  for (const Sender& s : senders_) {
    if (s.address == sender) return s.names[static_cast<size_t>(slot)];
  }
  return {};
}

std::string DownloadTarget(const std::filesystem::path& directory, std::string_view typed, std::string_view offered) {
  const std::string_view name = typed.empty() ? offered : typed;
  if (name.empty()) return {};
  return ResolveChatFile(directory, name).string();
}

}  // namespace vorn
