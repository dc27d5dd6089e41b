#include "settings/settings_store.h"

#include "platform/peer_address.h"
#include "platform/text.h"
#include "settings/built_in_servers.h"

namespace vorn {
namespace {

constexpr std::string_view kMisc = "Misc";
constexpr std::string_view kUserInfo = "User Info";

std::string Cut(std::string_view text, size_t max_chars) { return std::string(Truncate(text, max_chars)); }

// What the dialog accepts is what is stored and held in memory.
void CutToLimits(UserInfoForm& form) {
  form.real_name = Cut(form.real_name, SettingsLimits::kRealName);
  form.nickname = Cut(form.nickname, SettingsLimits::kNickname);
  form.email = Cut(form.email, SettingsLimits::kEmail);
  form.other = Cut(form.other, SettingsLimits::kOther);
  form.tracker = Cut(form.tracker, SettingsLimits::kTracker);
}

void CutToLimits(AdvancedOptionsForm& form) {
  form.my_ip = Cut(form.my_ip, SettingsLimits::kMyIp);
  form.proxy = Cut(form.proxy, SettingsLimits::kProxy);
  form.port = Cut(form.port, SettingsLimits::kPort);
}

// The beep and the time stamps apply at once; everything else is read at start-up (the
// identity also goes to the server when connecting).
bool NeedsRestart(const UserInfoForm& a, const UserInfoForm& b, const AdvancedOptionsForm& x,
                  const AdvancedOptionsForm& y) {
  return a.real_name != b.real_name || a.nickname != b.nickname || a.email != b.email || a.other != b.other ||
         a.tracker != b.tracker || x.my_ip != y.my_ip || x.proxy != y.proxy || x.port != y.port;
}

// An unknown number reads as the default.
LossProtection ReadLossProtection(int32_t stored) {
  return stored >= 0 && stored <= 2 ? static_cast<LossProtection>(stored) : LossProtection::kAutomatic;
}

}  // namespace

SettingsStore::SettingsStore(Profile& profile, Dialogs& dialogs, UserInfoDialog& user_info_dialog)
    : profile_(profile), dialogs_(dialogs), user_info_dialog_(user_info_dialog) {}

// A loop rather than a reload from inside the dialog's success path, and
// bounded: a profile that cannot keep what the user typed must not trap
// them in the dialog forever.
int SettingsStore::LoadSettings() {
  for (int round = 0;; ++round) {
    LoadFromProfile();
    if (HasIdentity()) return kLoaded;
    if (round == kMaxFirstRunRounds) break;
    dialogs_.ShowMessage("Vorn Configuration Not Correct",
                         "Your Vorn information has not been entered yet!  We will do that right now...");
    if (!RunUserInfoDialog(true)) break;
  }
  dialogs_.ShowMessage("Exiting Vorn", "Vorn cannot run without the required information.");
  return kRefused;
}

void SettingsStore::LoadFromProfile() {
  LoadIdentity();
  LoadNetworkOptions();
  LoadServerList();
  LoadUserGames();
}

void SettingsStore::LoadIdentity() {
  settings_.beep_on_private = profile_.GetInt(kMisc, "BeepOnPrivate", 1) != 0;
  settings_.timestamps = profile_.GetInt(kMisc, "Timestamps", 0) != 0;
  settings_.windowed_transfers = profile_.GetInt(kMisc, "Windowed Transfers", 1) != 0;
  settings_.loss_protection = ReadLossProtection(profile_.GetInt(kMisc, "Loss Protection", 1));
  settings_.my_ip = Cut(profile_.GetString(kMisc, "my_ip", ""), SettingsLimits::kMyIp);
  settings_.nickname = Cut(profile_.GetString(kUserInfo, "NickName", ""), SettingsLimits::kNickname);
  settings_.real_name = Cut(profile_.GetString(kUserInfo, "RealName", ""), SettingsLimits::kRealName);
  settings_.email = Cut(profile_.GetString(kUserInfo, "email", ""), SettingsLimits::kEmail);
  settings_.other = Cut(profile_.GetString(kUserInfo, "other", ""), SettingsLimits::kOther);
  settings_.default_server = profile_.GetString(kServersSection, kDefaultServerKey, "");
}

void SettingsStore::LoadNetworkOptions() {
  int32_t port = ParseDecimal(profile_.GetString(kMisc, "Port", ""));
  if (IsUsablePort(port)) settings_.udpPort = port;
  settings_.tracker =
      ParseAddressWithPort(profile_.GetString(kMisc, "Tracker", kBuiltInTrackerText), AppSettings::kDefaultTrackerPort);
  settings_.proxy = ParseAddressWithPort(profile_.GetString(kMisc, "Proxy", ""), AppSettings::kDefaultProxyPort);
  settings_.fast_join = profile_.GetInt(kMisc, "FastJoin", 1) != 0;
  settings_.fast_join2 = profile_.GetInt(kMisc, "FastJoin2", 1) != 0;
  settings_.redirect_queries = profile_.GetInt(kMisc, "Redirect Queries", settings_.redirect_queries ? 1 : 0) != 0;
}

void SettingsStore::LoadUserGames() {
  for (int slot = 1; slot <= kUserGameSlots; ++slot) {
    UserGame& game = user_games_[static_cast<size_t>(slot - 1)];
    game = UserGame{};
    vorn::LoadUserGame(profile_, slot, game);
  }
}

bool SettingsStore::HasIdentity() const {
  return !settings_.email.empty() && !settings_.nickname.empty() && !settings_.real_name.empty();
}

UserInfoForm SettingsStore::CurrentUserInfo() {
  UserInfoForm form;
  form.real_name = settings_.real_name;
  form.nickname = settings_.nickname;
  form.email = settings_.email;
  form.other = settings_.other;
  form.tracker = profile_.GetString(kMisc, "Tracker", "");
  form.beep_on_private = settings_.beep_on_private;
  form.timestamps = settings_.timestamps;
  return form;
}

bool SettingsStore::RunUserInfoDialog(bool firstRun) {
  UserInfoForm form = CurrentUserInfo();
  const UserInfoForm before = form;
  const AdvancedOptionsForm advanced_before = CurrentAdvancedOptions();
  // New profiles show the time on their lines; older ones keep their look.
  if (firstRun && profile_.GetInt(kMisc, "Timestamps", -1) == -1) form.timestamps = true;
  if (!user_info_dialog_.Run(form, firstRun)) return false;
  CutToLimits(form);
  // The dialog closes with OK only on a form that passes; one that does not
  // is never stored.
  if (CheckUserInfo(form)) return false;
  WriteUserInfo(form);
  RereadAddressAndPort();
  if (!firstRun && NeedsRestart(before, form, advanced_before, CurrentAdvancedOptions())) {
    dialogs_.ShowMessage("Configuration Changed!", "You must restart Vorn for all of these changes to take effect!");
  }
  settings_.nickname = form.nickname;
  settings_.real_name = form.real_name;
  settings_.email = form.email;
  settings_.other = form.other;
  settings_.beep_on_private = form.beep_on_private;
  settings_.timestamps = form.timestamps;
  return true;
}

void SettingsStore::WriteUserInfo(const UserInfoForm& form) {
  profile_.WriteInt(kMisc, "BeepOnPrivate", form.beep_on_private ? 1 : 0);
  profile_.WriteInt(kMisc, "Timestamps", form.timestamps ? 1 : 0);
  profile_.WriteString(kUserInfo, "NickName", form.nickname);
  profile_.WriteString(kUserInfo, "RealName", form.real_name);
  profile_.WriteString(kUserInfo, "email", form.email);
  profile_.WriteString(kUserInfo, "other", form.other);
  profile_.WriteString(kMisc, "Tracker", form.tracker);
}

// The advanced options may have changed these while the dialog was open.
void SettingsStore::RereadAddressAndPort() {
  int32_t port = ParseDecimal(profile_.GetString(kMisc, "Port", ""));
  if (IsUsablePort(port)) settings_.udpPort = port;
  settings_.my_ip = Cut(profile_.GetString(kMisc, "my_ip", ""), SettingsLimits::kMyIp);
}

AdvancedOptionsForm SettingsStore::CurrentAdvancedOptions() {
  AdvancedOptionsForm form;
  form.my_ip = profile_.GetString(kMisc, "my_ip", "");
  form.proxy = profile_.GetString(kMisc, "Proxy", "");
  form.port = profile_.GetString(kMisc, "Port", "");
  form.fast_join = profile_.GetInt(kMisc, "FastJoin2", 1) != 0;
  form.redirect_queries = settings_.redirect_queries;
  form.loss_protection = settings_.loss_protection;
  return form;
}

bool SettingsStore::ApplyAdvancedOptions(AdvancedOptionsForm form) {
  CutToLimits(form);
  if (CheckAdvancedOptions(form)) return false;
  profile_.WriteString(kMisc, "my_ip", form.my_ip);
  profile_.WriteString(kMisc, "Proxy", form.proxy);
  profile_.WriteString(kMisc, "Port", form.port);
  profile_.WriteInt(kMisc, "FastJoin", form.fast_join ? 1 : 0);
  profile_.WriteInt(kMisc, "FastJoin2", form.fast_join ? 1 : 0);
  profile_.WriteInt(kMisc, "Redirect Queries", form.redirect_queries ? 1 : 0);
  settings_.redirect_queries = form.redirect_queries;
  settings_.fast_join = form.fast_join;
  settings_.fast_join2 = form.fast_join;
  profile_.WriteInt(kMisc, "Loss Protection", static_cast<int32_t>(form.loss_protection));
  settings_.loss_protection = form.loss_protection;
  return true;
}

void SettingsStore::LoadServerList() {
  settings_.server_list_from_built_in = vorn::LoadServerList(profile_, servers_) == ServerListOrigin::BuiltIn;
}

bool SettingsStore::SaveServerList() { return vorn::SaveServerList(profile_, servers_, settings_.default_server); }

void SettingsStore::SetDefaultServer(std::string_view name) {
  settings_.default_server = std::string(name);
  profile_.WriteString(kServersSection, kDefaultServerKey, name);
  // Keep a listed "Default Server" entry in step with the new default.
  PointDefaultEntryAt(servers_, name);
}

const UserGame* SettingsStore::userGame(int slot) const {
  return IsUserGameSlot(slot) ? &user_games_[static_cast<size_t>(slot - 1)] : nullptr;
}

bool SettingsStore::SetUserGame(int slot, const UserGame& fields) {
  if (!IsUserGameSlot(slot)) return false;
  UserGame& game = user_games_[static_cast<size_t>(slot - 1)];
  vorn::SetUserGame(game, fields);
  return game.dirty;
}

bool SettingsStore::SaveUserGame(int slot) {
  return IsUserGameSlot(slot) && vorn::SaveUserGame(profile_, slot, user_games_[static_cast<size_t>(slot - 1)]);
}

bool SettingsStore::DeleteUserGame(int slot) {
  if (!vorn::DeleteUserGame(profile_, slot)) return false;
  user_games_[static_cast<size_t>(slot - 1)] = UserGame{};
  return true;
}

void SettingsStore::ReleaseSettings() {
  servers_.Clear();
  user_games_ = {};
  std::lock_guard lock(colors_mutex_);
  chat_colors_.clear();
}

}  // namespace vorn
