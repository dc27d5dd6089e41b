#pragma once
// What the game configuration pages and the launcher decide without any
// widget: the command line of a slot, how it becomes a program and its
// arguments, the browse dialogs' filters and starting directories, and when
// a page may be left.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/user_games.h"

namespace vorn {

// The longest texts the configuration page accepts; the stored form is cut
// to the same when it is loaded.
struct UserGameLimits {
  static constexpr int kTitle = 40;
  static constexpr int kProgram = 256;
  static constexpr int kArguments = 100;
  static constexpr int kDirectory = 256;
  static constexpr int kIcon = 256;
};

// Browse filters in the classic form "description|patterns|...||".
inline constexpr std::string_view kGameFileFilter =
    " Game Files (*.exe;*.bat;*.com;*.PIF;*.lnk;*.btm) |*.exe;*.bat;*.com;*.lnk;*.btm| All Files (*.*) |*.*||";
inline constexpr std::string_view kIconFileFilter =
    " Icon Files (*.ico) |*.ico| Exe Files (*.exe) |*.exe| All Files (*.*) |*.*||";

struct FileFilter {
  std::string description;            // as written, blanks included
  std::vector<std::string> patterns;  // as written, e.g. "*.exe"
};

// The pairs of a classic filter text; a description without its patterns
// at the end is dropped.
std::vector<FileFilter> ParseFileFilter(std::string_view filter);

// A pattern as a glob that means on a case-sensitive file system what it
// meant where file names ignore case: "*.exe" matches "GAME.EXE", and "*.*"
// matches every name, also one without a dot.
std::string CaseInsensitiveGlob(std::string_view pattern);

// The starting directory of a browse dialog: the directory part of path when
// it is absolute and has one, otherwise fallback (which may be empty).
std::string BrowseDirectory(std::string_view path, std::string_view fallback);

// The program, one blank and the arguments; the program alone when there
// are no arguments.
std::string UserGameCommandLine(const UserGame& game);

// The words to start: the program text stays one word when it is a path
// to an existing file as typed (a browsed path may hold blanks), otherwise
// the whole command line is split as a shell would. nullopt when it cannot be
// split (an unterminated quote).
std::optional<std::vector<std::string>> UserGameArgv(const UserGame& game);

// Starts the game in its directory (or ours) without waiting for it: 0, or
// the errno of the failure.
int StartUserGame(const UserGame& game);

// What an errno of StartUserGame means for the user, in words.
std::string LaunchErrorText(int error);

// A page may be left when nothing was edited, when it is empty, or when it
// has both a title and a program.
bool MayLeaveGamePage(const UserGame& fields, bool any_field_modified);

}  // namespace vorn
