#pragma once
// The known servers, in the order they were added, and their profile form:
// section "Servers", one string value per entry (value name = display name,
// data = address text).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace vorn {

struct ServerEntry {
  std::string name;     // display name, at most 15 characters when typed
  std::string address;  // dotted IPv4 text, optionally ":" and a port

  friend bool operator==(const ServerEntry&, const ServerEntry&) = default;
};

// Entries are held by value: a pointer from FindServer stays valid only
// until the list is next changed.
class ServerList {
 public:
  const std::vector<ServerEntry>& entries() const { return entries_; }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const ServerEntry& operator[](size_t index) const { return entries_[index]; }

  void Add(ServerEntry entry) { entries_.push_back(std::move(entry)); }
  bool Remove(size_t index);
  bool Replace(size_t index, ServerEntry entry);
  void Clear() { entries_.clear(); }

  // The first entry whose name equals `name` or whose address equals
  // `address`, ignoring letter case; an absent argument matches nothing.
  std::optional<size_t> FindIndex(std::optional<std::string_view> name, std::optional<std::string_view> address) const;
  const ServerEntry* FindServer(std::optional<std::string_view> name, std::optional<std::string_view> address) const;

 private:
  std::vector<ServerEntry> entries_;
};

enum class ServerListOrigin {
  Profile,     // at least one entry was stored
  BuiltIn,     // the section was empty: the built-in table was used
  Unreadable,  // the profile could not be read: the list stays empty
};

// Replaces the list's contents. The "Default Server" value of the section is
// listed like any other entry, named "Default Server", with the address of
// the server it names (see PointDefaultEntryAt). Built-in entries are not
// written back here.
ServerListOrigin LoadServerList(Profile& profile, ServerList& list);

// The listed "Default Server" entry takes the address of the server named
// default_name; it leaves the list when there is none, since a name is no
// address to connect to.
void PointDefaultEntryAt(ServerList& list, std::string_view default_name);

// Rewrites the section from the list. `default_server`, when not empty, is
// written last as "Default Server", so that neither a list loaded before the
// default was set nor a stale "Default Server" entry can lose or revert it.
// False when the profile refused a write.
bool SaveServerList(Profile& profile, const ServerList& list, std::string_view default_server);

inline constexpr std::string_view kServersSection = "Servers";
inline constexpr std::string_view kDefaultServerKey = "Default Server";

}  // namespace vorn
