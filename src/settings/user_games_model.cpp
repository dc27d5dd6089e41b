#include "settings/user_games_model.h"

#include <sys/stat.h>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/process_launch.h"

namespace vorn {
namespace {

std::vector<std::string> SplitPatterns(std::string_view text) {
  std::vector<std::string> patterns;
  while (!text.empty()) {
    const size_t end = text.find(';');
    std::string_view pattern = text.substr(0, end);
    if (!pattern.empty()) patterns.emplace_back(pattern);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return patterns;
}

// A path (it holds a '/') to an existing file; a relative one counts from
// the game's directory, where the child starts.
bool NamesExistingFile(const UserGame& game) {
  const std::string& program = game.program;
  if (program.find('/') == std::string::npos) return false;
  const std::string path = program.front() == '/' || game.directory.empty() ? program : game.directory + '/' + program;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::vector<FileFilter> ParseFileFilter(std::string_view filter) {
  std::vector<FileFilter> filters;
  while (true) {
    const size_t bar = filter.find('|');
    if (bar == std::string_view::npos || bar == 0) break;  // "||" ends the list
    const std::string_view description = filter.substr(0, bar);
    filter.remove_prefix(bar + 1);
    const size_t end = filter.find('|');
    if (end == std::string_view::npos) break;
    filters.push_back({std::string(description), SplitPatterns(filter.substr(0, end))});
    filter.remove_prefix(end + 1);
  }
  return filters;
}

std::string CaseInsensitiveGlob(std::string_view pattern) {
  if (pattern == "*.*") return "*";
  std::string glob;
  for (char c : pattern) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalpha(byte) == 0) {
      glob += c;
      continue;
    }
    glob += '[';
    glob += static_cast<char>(std::tolower(byte));
    glob += static_cast<char>(std::toupper(byte));
    glob += ']';
  }
  return glob;
}

std::string BrowseDirectory(std::string_view path, std::string_view fallback) {
  const size_t slash = path.rfind('/');
  if (!path.empty() && path.front() == '/' && slash != std::string_view::npos) {
    return std::string(path.substr(0, slash == 0 ? 1 : slash));
  }
  return std::string(fallback);
}

std::string UserGameCommandLine(const UserGame& game) {
  if (game.arguments.empty()) return game.program;
  return game.program + ' ' + game.arguments;
}

std::optional<std::vector<std::string>> UserGameArgv(const UserGame& game) {
  if (!NamesExistingFile(game)) return SplitCommandLine(UserGameCommandLine(game));
  std::optional<std::vector<std::string>> arguments = SplitCommandLine(game.arguments);
  if (!arguments) return std::nullopt;
  arguments->insert(arguments->begin(), game.program);
  return arguments;
}

int StartUserGame(const UserGame& game) {
  std::optional<std::vector<std::string>> argv = UserGameArgv(game);
  if (!argv) return EINVAL;
  if (argv->empty()) return ENOENT;
  return LaunchDetached(*argv, game.directory);
}

std::string LaunchErrorText(int error) {
  switch (error) {
    case ENOENT:
      return "The program or the game's directory was not found.";
    case EACCES:
      return "The program may not be run: it is not executable, or a directory on its path cannot be entered.";
    case ENOEXEC:
      return "The file is no program this system can run.";
    case ENOTDIR:
      return "A part of the program's path or the game's directory is no directory.";
    case EINVAL:
      return "The command line has a quote that is never closed.";
    default:
      return std::string(std::strerror(error)) + ".";
  }
}

bool MayLeaveGamePage(const UserGame& fields, bool any_field_modified) {
  return !any_field_modified || fields.IsCleared() || fields.IsComplete();
}

}  // namespace vorn
