#include "settings/user_games.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/text.h"

namespace vorn {
namespace {

struct Field {
  std::string_view key;
  std::string UserGame::*member;
  size_t max_chars;  // what the configuration page accepts
};

constexpr std::array<Field, 9> kFields{{
    {"Title", &UserGame::title, 40},
    {"Program", &UserGame::program, 256},
    {"Arguments", &UserGame::arguments, 100},
    {"Directory", &UserGame::directory, 256},
    {"Icon", &UserGame::icon, 256},
    {"Kind", &UserGame::kind, 16},
    {"DOSBox", &UserGame::dosbox_program, 256},
    {"DOSBox Config", &UserGame::dosbox_config, 256},
    {"DOSBox Settings", &UserGame::dosbox_settings, 2000},
}};

}  // namespace

bool UserGame::IsCleared() const {
  for (const Field& field : kFields) {
    if (!(this->*field.member).empty()) return false;
  }
  return true;
}

bool UserGame::SameFields(const UserGame& other) const {
  for (const Field& field : kFields) {
    if (this->*field.member != other.*field.member) return false;
  }
  return true;
}

bool IsUserGameSlot(int slot) { return slot >= 1 && slot <= kUserGameSlots; }

std::string UserGameSection(int slot) { return Format("User Game %d", slot); }

bool LoadUserGame(Profile& profile, int slot, UserGame& game) {
  if (!IsUserGameSlot(slot)) return false;
  const std::string section = UserGameSection(slot);
  UserGame read;
  for (const Field& field : kFields) {
    read.*field.member = Truncate(profile.GetString(section, field.key, ""), field.max_chars);
  }
  if (!read.IsComplete()) return false;
  game = std::move(read);
  return true;
}

void SetUserGame(UserGame& game, const UserGame& fields) {
  game.dirty = !game.SameFields(fields);
  for (const Field& field : kFields) game.*field.member = fields.*field.member;
}

bool SaveUserGame(Profile& profile, int slot, UserGame& game) {
  if (!IsUserGameSlot(slot)) return false;
  if (!game.dirty) return true;
  if (game.IsCleared()) {
    bool ok = DeleteUserGame(profile, slot);
    game.dirty = !ok;
    return ok;
  }
  if (!game.IsComplete()) return true;
  const std::string section = UserGameSection(slot);
  bool ok = true;
  for (const Field& field : kFields) ok = profile.WriteString(section, field.key, game.*field.member) && ok;
  game.dirty = !ok;
  return ok;
}

bool DeleteUserGame(Profile& profile, int slot) {
  return IsUserGameSlot(slot) && profile.DeleteSection(UserGameSection(slot));
}

}  // namespace vorn
