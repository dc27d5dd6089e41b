#pragma once
// What the server list dialog does with the server list, without its
// widgets: the lines it shows and their order, the check of the server
// properties dialog, and one run of the dialog (the entry it hands back and
// when the edited list is written to the profile).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/server_list.h"
#include "settings/settings_store.h"
#include "settings/user_info.h"

namespace vorn {

// The name the chosen entry carries once the user typed or picked an address
// instead of adding, editing or setting an entry as default.
inline constexpr std::string_view kUserSpecifiedName = "User Specified IP#";

// Longest texts the server properties dialog accepts.
inline constexpr size_t kMaxServerNameText = 15;
inline constexpr size_t kMaxServerAddressText = 21;

inline constexpr std::string_view kDeleteServerTitle = "Delete Server?";
std::string DeleteServerQuestion(std::string_view name);

// "*" before the default server's name (in any letter case), then the name,
// a tab and the address.
std::string FormatServerLine(const ServerEntry& entry, std::string_view default_server);

struct ServerLine {
  std::string text;
  size_t index = 0;  // of its entry in the ServerList
};

// One line per entry in the order the list shows them: sorted ignoring
// letter case, so the default server's "*" line comes before every name that
// begins with a letter or digit; equal lines keep their list order.
std::vector<ServerLine> SortedServerLines(const ServerList& list, std::string_view default_server);

// OK of the server properties dialog; the address is not checked for form,
// a connection attempt reports an address that leads nowhere.
std::optional<FormError> CheckServerProps(const ServerEntry& entry);

// One run of the server list dialog. Changes reach the list in memory at
// once; the profile gets them when the run ends, however it ends.
class ServerListSession {
 public:
  explicit ServerListSession(SettingsStore& store) : store_(store) {}

  const ServerList& list() const { return store_.servers(); }
  const std::string& default_server() const { return store_.settings().default_server; }
  const ServerEntry* Entry(size_t index) const;

  // The address field changed, by typing or by the dialog itself.
  void AddressChanged() { result_.name = kUserSpecifiedName; }
  // The entry becomes the result (its name and address).
  bool MakeCurrent(size_t index);

  // Each returns the index of the entry to select, or nullopt when the
  // index named none. Add appends.
  size_t Add(ServerEntry entry);
  std::optional<size_t> Edit(size_t index, ServerEntry entry);
  bool Remove(size_t index);
  std::optional<size_t> SetDefault(size_t index);

  // OK: the result with the address field's text.
  ServerEntry Accept(std::string_view address);
  void Cancel() { SaveIfChanged(); }
  // Query ends the run too: the entry to ask, copied before anything else
  // can change the list.
  std::optional<ServerEntry> EndForQuery(size_t index);

  const ServerEntry& result() const { return result_; }
  bool listChanged() const { return list_changed_; }

 private:
  void SaveIfChanged();

  SettingsStore& store_;
  ServerEntry result_;
  bool list_changed_ = false;
};

}  // namespace vorn
