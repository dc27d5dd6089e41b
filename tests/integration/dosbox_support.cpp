#include "integration/dosbox_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/text.h"

namespace vorn::dosbox_e2e {

namespace fs = std::filesystem;

namespace {

bool HoldsHarnessFiles(const fs::path& folder) {
  std::error_code error;
  return fs::is_regular_file(folder / "dosbox-ipx.conf", error) && fs::is_regular_file(folder / "ipxt.com", error);
}

std::optional<fs::path> FindHarnessFiles() {
  std::vector<fs::path> candidates;
  if (const char* dir = ::getenv("VORN_DOSBOX_DIR"); dir != nullptr && *dir != '\0') candidates.emplace_back(dir);
  std::error_code error;
  fs::path binary = fs::read_symlink("/proc/self/exe", error);
  for (fs::path up = binary.parent_path(); !error && !up.empty(); up = up.parent_path()) {
    candidates.push_back(up / "shared" / "dosbox");
    if (up == up.root_path()) break;
  }
  candidates.emplace_back("/work/shared/dosbox");
  // The source tree's neighbour, for a build directory kept elsewhere.
  candidates.push_back(fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path() / "shared" /
                       "dosbox");
  for (const fs::path& candidate : candidates)
    if (HoldsHarnessFiles(candidate)) return candidate;
  return std::nullopt;
}

std::optional<fs::path> FindProgram(std::string_view name, const fs::path& fallback) {
  std::error_code error;
  if (const char* path = ::getenv("PATH"); path != nullptr) {
    std::istringstream folders(path);
    for (std::string folder; std::getline(folders, folder, ':');) {
      fs::path candidate = fs::path(folder.empty() ? "." : folder) / name;
      if (fs::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  if (fs::is_regular_file(fallback, error) && ::access(fallback.c_str(), X_OK) == 0) return fallback;
  return std::nullopt;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text after key up to the next blank.
std::string_view Field(std::string_view line, std::string_view key) {
  size_t at = line.find(key);
  if (at == std::string_view::npos) return {};
  std::string_view rest = line.substr(at + key.size());
  return rest.substr(0, rest.find(' '));
}

int Number(std::string_view text) {
  int value = -1;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : -1;
}

// The node of an address printed as net/node/socket.
std::string NodeOf(std::string_view address) {
  size_t first = address.find('/');
  size_t second = address.find('/', first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) return {};
  return std::string(address.substr(first + 1, second - first - 1));
}

IpxtPacket ParseReceived(std::string_view line) {
  IpxtPacket packet;
  packet.source_node = NodeOf(Field(line, "src="));
  packet.destination_node = NodeOf(Field(line, " dst="));
  packet.self = Field(line, " self=") == "1";
  packet.data = Field(line, "data=");
  return packet;
}

IpxtSummary ParseSummary(std::string_view line) {
  IpxtSummary s;
  s.sent = Number(Field(line, "sent="));
  s.broadcasts = Number(Field(line, "rxB="));
  s.replies = Number(Field(line, "rxR="));
  s.self = Number(Field(line, "self="));
  s.other = Number(Field(line, "other="));
  s.bad = Number(Field(line, "bad="));
  return s;
}

}  // namespace

std::optional<DosboxSetup> FindDosboxSetup(std::string& why) {
  DosboxSetup setup;
  auto dosbox = FindProgram("dosbox", "/usr/bin/dosbox");
  auto timeout = FindProgram("timeout", "/usr/bin/timeout");
  auto files = FindHarnessFiles();
  if (!dosbox)
    why = "dosbox is not installed (scripts/setup installs it)";
  else if (!timeout)
    why = "coreutils' timeout is missing";
  else if (!files)
    why = "no folder with dosbox-ipx.conf and ipxt.com (set VORN_DOSBOX_DIR)";
  if (!dosbox || !timeout || !files) return std::nullopt;
  return DosboxSetup{*dosbox, *timeout, *files};
}

DosboxInstance::DosboxInstance(const DosboxSetup& setup, fs::path folder) : setup_(setup), folder_(std::move(folder)) {
  std::error_code error;
  fs::create_directories(folder_ / "home", error);
  fs::create_directories(folder_ / "c", error);
  fs::copy_file(setup_.files / "ipxt.com", folder_ / "c" / "IPXT.COM", fs::copy_options::overwrite_existing, error);
}

bool DosboxInstance::Start(uint16_t driver_port, int seconds, int count, int limit_s) {
  const fs::path drive = folder_ / "c";
  std::vector<std::string> argv = {setup_.dosbox.string(), "-conf", (setup_.files / "dosbox-ipx.conf").string()};
  for (const std::string& command : {"mount c \"" + drive.string() + "\"", std::string("c:"),
                                     "ipxnet connect 127.0.0.1 " + std::to_string(driver_port),
                                     Format("ipxt %d %d > OUT.TXT", seconds, count), std::string("exit")})
    argv.insert(argv.end(), {"-c", command});
  return Run(argv, limit_s);
}

bool DosboxInstance::StartAsGame(uint16_t driver_port, int seconds, int count, int limit_s) {
  UserGame game{"ipxt", "IPXT.COM", Format("%d %d > OUT.TXT", seconds, count), (folder_ / "c").string(), ""};
  game.kind = std::string(kDosboxGameKind);
  game.dosbox_config = (setup_.files / "dosbox-ipx.conf").string();
  std::string why;
  const std::optional<DosboxStart> start =
      PrepareDosboxGame(game, setup_.dosbox.string(), driver_port, (folder_ / "vorn.conf").string(), why);
  return start && Run(start->argv, limit_s);
}

bool DosboxInstance::Run(const std::vector<std::string>& dosbox_argv, int limit_s) {
  // Bounded by timeout, which also ends the emulator when the test is killed.
  std::vector<std::string> argv = {setup_.timeout.string(), "-k", "5", std::to_string(limit_s)};
  argv.insert(argv.end(), dosbox_argv.begin(), dosbox_argv.end());
  // Without the dummy drivers DOSBox draws into the terminal and never ends;
  // it writes its own settings under HOME on a first start.
  std::vector<std::string> env = {"HOME=" + (folder_ / "home").string(), "SDL_VIDEODRIVER=dummy",
                                  "SDL_AUDIODRIVER=dummy"};
  process_.emplace(argv, ChildOptions{env, folder_});
  return process_->started();
}

bool DosboxInstance::IsReady() const {
  std::error_code error;
  return fs::exists(folder_ / "c" / "READY.FLG", error);
}

bool DosboxInstance::Go() const {
  std::ofstream flag(folder_ / "c" / "GO.FLG");
  return static_cast<bool>(flag << "go\r\n");
}

std::string DosboxInstance::Output() const { return ReadFile(folder_ / "c" / "OUT.TXT"); }

IpxtReport ParseIpxtOutput(std::string_view text) {
  IpxtReport report;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.starts_with("ME net "))
      report.own_node = Field(line, " node ");
    else if (line.starts_with("RX "))
      report.received.push_back(ParseReceived(line));
    else if (line.starts_with("SUMMARY "))
      report.summary = ParseSummary(line);
  }
  return report;
}

std::string NodeText(PeerAddress address) {
  return Format("%02X:%02X:%02X:%02X:%02X:%02X", address.ip >> 24, (address.ip >> 16) & 0xFF, (address.ip >> 8) & 0xFF,
                address.ip & 0xFF, address.port >> 8, address.port & 0xFF);
}

}  // namespace vorn::dosbox_e2e
