#pragma once
// The five games the user can start from the menu, and their profile form:
// sections "User Game 1" .. "User Game 5" with keys "Title", "Program",
// "Arguments", "Directory" and "Icon", and for a game that runs in DOSBox
// "Kind" ("DOSBox"), "DOSBox", "DOSBox Config" and "DOSBox Settings".
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace vorn {

inline constexpr int kUserGameSlots = 5;
inline constexpr std::string_view kDosboxGameKind = "DOSBox";

struct UserGame {
  std::string title;
  std::string program;  // path of the program file
  std::string arguments;
  std::string directory;  // working directory, empty: inherit
  std::string icon;       // path of an icon file
  bool dirty = false;     // changed since it was loaded or saved
  // A DOSBox game: directory is the game's folder (drive C:), program and
  // arguments what runs there.
  // Initialised, so the five-text form {title, ..., icon} stays complete.
  std::string kind{};             // kDosboxGameKind, or empty for a program
  std::string dosbox_program{};   // the emulator; empty: looked up in PATH
  std::string dosbox_config{};    // the user's own configuration, read first
  std::string dosbox_settings{};  // configuration lines added to Vorn's own

  bool IsConfigured() const { return !program.empty(); }
  bool IsDosbox() const { return kind == kDosboxGameKind; }
  bool IsComplete() const { return !title.empty() && !program.empty(); }
  bool IsCleared() const;
  bool SameFields(const UserGame& other) const;
};

// Slots are numbered 1 to kUserGameSlots.
bool IsUserGameSlot(int slot);
std::string UserGameSection(int slot);

// Fills `game` only when the stored slot has a title and a program; texts
// longer than the configuration page accepts are cut (the command line built
// from them has a fixed maximum). Returns true when it filled `game`.
bool LoadUserGame(Profile& profile, int slot, UserGame& game);

// Takes the five texts of `fields`; `game` becomes dirty when any of them
// differs from what it held, clean otherwise.
void SetUserGame(UserGame& game, const UserGame& fields);

// Nothing for a clean slot. A complete slot is written; a cleared one (all
// five texts empty) has its section deleted, so that it stays empty after
// the next start. Either clears dirty. An incomplete slot writes nothing and
// stays dirty. False when the profile refused a write.
bool SaveUserGame(Profile& profile, int slot, UserGame& game);

bool DeleteUserGame(Profile& profile, int slot);

}  // namespace vorn
