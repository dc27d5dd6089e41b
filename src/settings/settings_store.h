#pragma once
// Everything the program remembers between runs, loaded once at start-up:
// identity and network options, the server list, the message and nickname
// colours and the five user games; and the first-run check that will not let
// the program start without a nickname, real name and e-mail address.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dialogs.h"
#include "platform/message_window.h"
#include "platform/profile.h"
#include "settings/app_settings.h"
#include "settings/server_list.h"
#include "settings/user_games.h"
#include "settings/user_info.h"

namespace vorn {

// Nickname to COLORREF; nicknames compared exactly as stored.
using ChatColorMap = std::map<std::string, uint32_t, std::less<>>;

class SettingsStore {
 public:
  static constexpr int kLoaded = 0;
  static constexpr int kRefused = 2;
  // How often the first-run dialog is offered when what the user entered
  // does not come back from the profile (it cannot be written).
  static constexpr int kMaxFirstRunRounds = 3;

  SettingsStore(Profile& profile, Dialogs& dialogs, UserInfoDialog& user_info_dialog);

  // kLoaded, or kRefused when the user gave up the first-run dialog; the
  // program must then end.
  int LoadSettings();
  // The identity dialog; true when it closed with OK. Identity and the beep
  // flag change at once; address, port, tracker and proxy at the next start.
  bool RunUserInfoDialog(bool firstRun);
  UserInfoForm CurrentUserInfo();
  // The advanced options dialog reads and writes the profile directly; the
  // join and redirect flags take effect at once. False, writing nothing,
  // for a form that fails CheckAdvancedOptions.
  AdvancedOptionsForm CurrentAdvancedOptions();
  bool ApplyAdvancedOptions(AdvancedOptionsForm form);

  const AppSettings& settings() const { return settings_; }
  Profile& profile() { return profile_; }

  void LoadServerList();
  bool SaveServerList();
  ServerList& servers() { return servers_; }
  const ServerList& servers() const { return servers_; }
  const ServerEntry* FindServer(std::optional<std::string_view> name, std::optional<std::string_view> address) const {
    return servers_.FindServer(name, address);
  }
  void SetDefaultServer(std::string_view name);

  // Slots 1 to kUserGameSlots; null for any other. DeleteUserGame empties
  // the slot and deletes its section.
  const UserGame* userGame(int slot) const;
  // True when the slot became dirty.
  bool SetUserGame(int slot, const UserGame& fields);
  bool SaveUserGame(int slot);
  bool DeleteUserGame(int slot);

  // Frees the server list, the user games and the nickname colours.
  void ReleaseSettings();

  // Colours may be read from the receive thread while the colour settings
  // change them: other threads use ColorOf and ChatColorFor only.
  void LoadColors();
  void SaveColors();
  bool DeleteChatColor(std::string_view nickname);
  void SetChatColor(std::string_view nickname, uint32_t color);
  // Makes `edited` the nickname colours; every nickname no longer in it has
  // its stored value deleted.
  void ApplyChatColors(const ChatColorMap& edited);
  ChatColorMap ChatColors() const;
  uint32_t ChatColorFor(std::string_view nickname) const;
  uint32_t ColorOf(MessageClass cls) const;
  void SetMessageColor(MessageClass cls, uint32_t color);

 private:
  void LoadFromProfile();
  void LoadIdentity();
  void LoadNetworkOptions();
  void LoadUserGames();
  bool HasIdentity() const;
  void WriteUserInfo(const UserInfoForm& form);
  void RereadAddressAndPort();

  Profile& profile_;
  Dialogs& dialogs_;
  UserInfoDialog& user_info_dialog_;
  AppSettings settings_;
  ServerList servers_;
  std::array<UserGame, kUserGameSlots> user_games_;
  mutable std::mutex colors_mutex_;  // the four colours and chat_colors_
  ChatColorMap chat_colors_;
};

}  // namespace vorn
