#include "settings/dosbox_game.h"

#include <sys/stat.h>
#include <unistd.h>
#include <fstream>

#include "platform/text.h"

namespace vorn {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The first directory of path_env holding an executable name; empty entries
// (the current directory) are not searched.
std::optional<std::string> SearchPath(std::string_view name, std::string_view path_env) {
  while (!path_env.empty()) {
    const size_t colon = path_env.find(':');
    const std::string_view directory = path_env.substr(0, colon);
    if (!directory.empty()) {
      std::string candidate = std::string(directory) + '/' + std::string(name);
      if (IsExecutableFile(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) break;
    path_env.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

bool HasLineEnd(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// The program as a path inside the game's folder, with DOS separators.
std::optional<std::string> ProgramInFolder(const UserGame& game, std::string& why) {
  std::string_view program = game.program;
  std::string_view folder = game.directory;
  while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
  if (!program.empty() && program.front() == '/') {
    if (!program.starts_with(folder) || program.size() <= folder.size() + 1 || program[folder.size()] != '/') {
      why = "The program " + game.program + " is not inside the game folder " + game.directory + ".";
      return std::nullopt;
    }
    program.remove_prefix(folder.size() + 1);
  }
  std::string dos(program);
  for (char& c : dos)
    if (c == '/') c = '\\';
  return dos;
}

// The autoexec lines that enter the program's directory and start it.
std::string StartLines(const std::string& dos_program, const std::string& arguments) {
  std::string lines;
  const size_t backslash = dos_program.rfind('\\');
  if (backslash != std::string::npos && backslash > 0) lines += "cd \\" + dos_program.substr(0, backslash) + "\n";
  lines += backslash == std::string::npos ? dos_program : dos_program.substr(backslash + 1);
  if (!arguments.empty()) lines += ' ' + arguments;
  return lines + "\n";
}

}  // namespace

DosboxPortSetting ParseDosboxPort(std::string_view text) {
  if (text.empty() || text == "0") return {};
  const int32_t port = ParseDecimal(text);
  return {true, port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : uint16_t{0}};
}

DosboxPortSetting ReadDosboxPort(Profile& profile, std::string_view fallback) {
  return ParseDosboxPort(profile.GetString("Misc", kDosboxPortKey, fallback));
}

std::optional<std::string> FindDosbox(std::string_view user_path, std::string_view path_env, std::string& why) {
  if (!user_path.empty()) {
    const std::string path(user_path);
    if (path.find('/') == std::string::npos) {
      if (std::optional<std::string> found = SearchPath(path, path_env)) return found;
    } else if (IsExecutableFile(path)) {
      return path;
    }
    why = "The DOSBox program " + path + " was not found or cannot be run.";
    return std::nullopt;
  }
  for (std::string_view name : kDosboxNames)
    if (std::optional<std::string> found = SearchPath(name, path_env)) return found;
  why =
      "DOSBox was not found: install dosbox, dosbox-staging or dosbox-x, or give the DOSBox program in "
      "Configure User Games.";
  return std::nullopt;
}

std::optional<std::string> DosboxConfigText(const UserGame& game, uint16_t ipx_port, std::string& why) {
  if (game.directory.empty() || game.program.empty()) {
    why = "A DOSBox game needs its folder and its program.";
    return std::nullopt;
  }
  if (game.directory.find('"') != std::string::npos || HasLineEnd(game.directory) || HasLineEnd(game.program) ||
      HasLineEnd(game.arguments)) {
    why = "The game folder, program and arguments must not hold quotes or line ends.";
    return std::nullopt;
  }
  std::optional<std::string> program = ProgramInFolder(game, why);
  if (!program) return std::nullopt;
  std::string text = "# Written by Vorn for \"" + game.title + "\" at every start of the game; edits are lost.\n";
  text += "[ipx]\nipx=true\n\n";
  if (!game.dosbox_settings.empty()) text += game.dosbox_settings + "\n\n";
  text += "[autoexec]\nmount c \"" + game.directory + "\"\nc:\n";
  text += Format("ipxnet connect 127.0.0.1 %u\n", unsigned{ipx_port});
  return text + StartLines(*program, game.arguments) + "exit\n";
}

std::optional<DosboxStart> PrepareDosboxGame(const UserGame& game, const std::string& dosbox, uint16_t ipx_port,
                                             const std::string& config_path, std::string& why) {
  std::optional<std::string> text = DosboxConfigText(game, ipx_port, why);
  if (!text) return std::nullopt;
  std::ofstream out(config_path, std::ios::binary | std::ios::trunc);
  if (!(out << *text) || !out.flush()) {
    why = "Cannot write the DOSBox configuration " + config_path + ".";
    return std::nullopt;
  }
  DosboxStart start{{dosbox}, game.directory};
  if (!game.dosbox_config.empty()) start.argv.insert(start.argv.end(), {"-conf", game.dosbox_config});
  start.argv.insert(start.argv.end(), {"-conf", config_path});
  return start;
}

}  // namespace vorn
