#include "settings/server_list.h"

#include "platform/text.h"
#include "settings/built_in_servers.h"

namespace vorn {
namespace {

// A stored name or address longer than the fixed buffers the profile has
// always been read into is not a value this program wrote; it is skipped
// rather than cut into a different server or ending the whole list.
constexpr size_t kMaxStoredName = 127;
constexpr size_t kMaxStoredAddress = 79;

bool Matches(std::optional<std::string_view> wanted, const std::string& have) {
  return wanted && EqualsIgnoreCase(*wanted, have);
}

}  // namespace

bool ServerList::Remove(size_t index) {
  if (index >= entries_.size()) return false;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

bool ServerList::Replace(size_t index, ServerEntry entry) {
  if (index >= entries_.size()) return false;
  entries_[index] = std::move(entry);
  return true;
}

std::optional<size_t> ServerList::FindIndex(std::optional<std::string_view> name,
                                            std::optional<std::string_view> address) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (Matches(name, entries_[i].name) || Matches(address, entries_[i].address)) return i;
  }
  return std::nullopt;
}

const ServerEntry* ServerList::FindServer(std::optional<std::string_view> name,
                                          std::optional<std::string_view> address) const {
  std::optional<size_t> index = FindIndex(name, address);
  return index ? &entries_[*index] : nullptr;
}

void PointDefaultEntryAt(ServerList& list, std::string_view default_name) {
  const std::optional<size_t> entry = list.FindIndex(kDefaultServerKey, std::nullopt);
  if (!entry) return;
  for (const ServerEntry& server : list.entries()) {
    if (!EqualsIgnoreCase(server.name, kDefaultServerKey) && EqualsIgnoreCase(server.name, default_name)) {
      list.Replace(*entry, {std::string(kDefaultServerKey), server.address});
      return;
    }
  }
  // A name is no address to connect to.
  list.Remove(*entry);
}

ServerListOrigin LoadServerList(Profile& profile, ServerList& list) {
  list.Clear();
  std::optional<std::vector<ProfileValue>> values = profile.Enumerate(kServersSection);
  if (!values) return ServerListOrigin::Unreadable;
  for (const ProfileValue& value : *values) {
    if (value.type != ProfileValueType::String) continue;
    if (value.name.size() > kMaxStoredName || value.text.size() > kMaxStoredAddress) continue;
    list.Add({value.name, value.text});
  }
  if (const ServerEntry* entry = list.FindServer(kDefaultServerKey, std::nullopt)) {
    PointDefaultEntryAt(list, std::string(entry->address));
  }
  if (!list.empty()) return ServerListOrigin::Profile;
  for (const BuiltInServer& server : BuiltInServers()) {
    list.Add({std::string(server.name), std::string(server.address)});
  }
  return ServerListOrigin::BuiltIn;
}

bool SaveServerList(Profile& profile, const ServerList& list, std::string_view default_server) {
  bool ok = profile.DeleteSection(kServersSection);
  for (const ServerEntry& entry : list.entries()) {
    ok = profile.WriteString(kServersSection, entry.name, entry.address) && ok;
  }
  if (!default_server.empty()) ok = profile.WriteString(kServersSection, kDefaultServerKey, default_server) && ok;
  return ok;
}

}  // namespace vorn
