#include "settings/server_list_editing.h"

#include <algorithm>

#include "platform/peer_address.h"
#include "platform/text.h"

namespace vorn {
namespace {

unsigned char Folded(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

bool LessIgnoringCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Folded(x) < Folded(y); });
}

}  // namespace

std::string DeleteServerQuestion(std::string_view name) {
  return "Do you really want to delete the entry for <" + std::string(name) + ">";
}

std::string FormatServerLine(const ServerEntry& entry, std::string_view default_server) {
  const char* marker = EqualsIgnoreCase(entry.name, default_server) ? "*" : "";
  return marker + entry.name + '\t' + entry.address;
}

std::vector<ServerLine> SortedServerLines(const ServerList& list, std::string_view default_server) {
  std::vector<ServerLine> lines;
  lines.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) lines.push_back({FormatServerLine(list[i], default_server), i});
  std::stable_sort(lines.begin(), lines.end(),
                   [](const ServerLine& a, const ServerLine& b) { return LessIgnoringCase(a.text, b.text); });
  return lines;
}

std::optional<FormError> CheckServerProps(const ServerEntry& entry) {
  if (entry.name.empty() || entry.address.empty()) {
    return FormError{"Information not Complete", "You must enter a Name and an Address!"};
  }
  // Checked here, not after a connection attempt has waited for nothing.
  const PeerAddress address = ParseAddressWithPort(entry.address, 2213);
  if (address.ip == 0 || address.port == 0) {
    return FormError{"Invalid Address", "The address must read a.b.c.d or a.b.c.d:port."};
  }
  return std::nullopt;
}

const ServerEntry* ServerListSession::Entry(size_t index) const {
  return index < list().size() ? &list()[index] : nullptr;
}

bool ServerListSession::MakeCurrent(size_t index) {
  const ServerEntry* entry = Entry(index);
  if (entry == nullptr) return false;
  result_ = *entry;
  return true;
}

size_t ServerListSession::Add(ServerEntry entry) {
  store_.servers().Add(std::move(entry));
  list_changed_ = true;
  return list().size() - 1;
}

std::optional<size_t> ServerListSession::Edit(size_t index, ServerEntry entry) {
  if (!store_.servers().Replace(index, std::move(entry))) return std::nullopt;
  list_changed_ = true;
  return index;
}

bool ServerListSession::Remove(size_t index) {
  if (!store_.servers().Remove(index)) return false;
  list_changed_ = true;
  return true;
}

std::optional<size_t> ServerListSession::SetDefault(size_t index) {
  const ServerEntry* entry = Entry(index);
  if (entry == nullptr) return std::nullopt;
  // A copy: the store may rewrite the list's "Default Server" entry.
  const std::string name = entry->name;
  store_.SetDefaultServer(name);
  return index;
}

ServerEntry ServerListSession::Accept(std::string_view address) {
  result_.address = std::string(address);
  SaveIfChanged();
  return result_;
}

// Leaving the edits in memory only would lose them at the next start unless
// some later run happened to save the list.
std::optional<ServerEntry> ServerListSession::EndForQuery(size_t index) {
  const ServerEntry* entry = Entry(index);
  if (entry == nullptr) return std::nullopt;
  ServerEntry asked = *entry;
  SaveIfChanged();
  return asked;
}

void ServerListSession::SaveIfChanged() {
  if (!list_changed_) return;
  store_.SaveServerList();
  list_changed_ = false;
}

}  // namespace vorn
