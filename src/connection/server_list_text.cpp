#include "connection/server_list_text.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/peer_address.h"

namespace vorn {
namespace {

constexpr size_t kNameField = 15;
constexpr size_t kEntryHead = kNameField + 1;  // the name field and its separator
constexpr size_t kMaxAddress = 31;
// Any sender's list is merged, so without a cap a stream of lists would
// grow the list, the profile and the server list dialog without end.
constexpr size_t kMaxListedServers = 256;

// "\r" ends an address too: a tracker that ends its lines with "\r\n" would
// otherwise have every address stored with a "\r", which no later list could
// match, so each update would add the whole list again.
bool IsGap(char c) { return c == ' ' || c == '\n' || c == '\r'; }

std::string_view WithoutTrailingSpaces(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Takes the text up to the first gap off the front of text.
std::string_view TakeAddress(std::string_view& text) {
  size_t end = 0;
  while (end < text.size() && !IsGap(text[end])) ++end;
  std::string_view address = text.substr(0, end);
  text.remove_prefix(end);
  return address;
}

// Control bytes in a name would reach the profile, the dialog and a
// terminal as they are; 8-bit characters are ordinary text.
bool IsPrintableName(std::string_view name) {
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

bool IsPrintableAddress(std::string_view address) {
  return std::all_of(address.begin(), address.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

void SkipGaps(std::string_view& text) {
  while (!text.empty() && IsGap(text.front())) text.remove_prefix(1);
}

}  // namespace

size_t MergeServerListText(std::string_view text, ServerList& list) {
  text = text.substr(0, text.find('\0'));
  size_t added = 0;
  // A text that ends inside an entry's name field holds no more entries.
  while (text.size() >= kEntryHead && list.size() < kMaxListedServers) {
    std::string_view name = WithoutTrailingSpaces(text.substr(0, kNameField));
    text.remove_prefix(kEntryHead);
    std::string_view address = TakeAddress(text);
    SkipGaps(text);
    if (address.size() > kMaxAddress || ParseDottedQuad(address) == 0) continue;
    if (!IsPrintableName(name) || !IsPrintableAddress(address)) continue;
    if (list.FindServer(std::nullopt, address) != nullptr) continue;
    list.Add({std::string(name), std::string(address)});
    ++added;
  }
  return added;
}

}  // namespace vorn
