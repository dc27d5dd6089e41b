// vornd: a Vorn node without a window.
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "chat/headless_chat_windows.h"
#include "common/signal_watcher.h"
#include "console_ports.h"
#include "host_watch.h"
#include "ipx/dosbox_driver.h"
#include "ipx/ipx_capture.h"
#include "node/node.h"
#include "options.h"
#include "platform/event_loop.h"
#include "platform/queued_message_window.h"
#include "qtprofile/qt_profile.h"
#include "settings/setting_rules.h"

namespace vorn {
namespace {

// Typed lines go where the message window's input line would send them.
// Without a menu, "/join KEY" outside chat mode does what the "Chat Window"
// command does; the last channel joined is the window later lines belong to.
class TypedLines {
 public:
  TypedLines(Node& node, HeadlessChatWindows& windows, std::function<void()> stats)
      : node_(node), windows_(windows), stats_(std::move(stats)) {}
  void Handle(const std::string& line) {
    if (line.empty()) return;
    if (line == "/stats") return stats_();
    if (line == "/links") return PrintLinks();
    std::string_view text(line);
    if (text.rfind("/join ", 0) == 0) {
      std::string key(text.substr(6));
      while (!key.empty() && key.front() == ' ') key.erase(0, 1);
      if (!node_.chat().IsChatModeOn()) {
        node_.chat().JoinChannel(key);
        channel_ = key;
        return;
      }
      node_.chat().ExecuteChatLine(line, InputLine());
      channel_ = key;
      return;
    }
    node_.chat().ExecuteChatLine(line, InputLine());
  }

 private:
  void PrintLinks() const {
    const std::string table = LinkTable(node_.links().Reports(), node_.local_server().table().Snapshot());
    std::fputs(table.c_str(), stderr);
  }
  ChatInputId InputLine() const {
    return channel_.empty() ? HeadlessChatWindows::kMessageWindowInput : windows_.InputOf(channel_);
  }
  Node& node_;
  HeadlessChatWindows& windows_;
  std::function<void()> stats_;
  std::string channel_;
};

// Reads standard input on its own thread and posts each line to the loop.
// End of input just ends the reading: a node may run with no terminal.
class StdinReader {
 public:
  StdinReader(EventLoop& loop, TypedLines& lines)
      : thread_([&loop, &lines](std::stop_token stop) {
          std::string pending;
          char buffer[512];
          while (!stop.stop_requested()) {
            pollfd p{0, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) continue;
            ssize_t n = ::read(0, buffer, sizeof buffer);
            if (n <= 0) return;
            pending.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
              std::string line = pending.substr(0, end);
              if (!line.empty() && line.back() == '\r') line.pop_back();
              loop.Post([&lines, line] { lines.Handle(line); });
            }
          }
        }) {}

 private:
  std::jthread thread_;
};

// What the desktop program does once its message window is ready.
void FirstActions(Node& node, const VorndOptions& options) {
  if (node.addresses().proxy.Load().IsSet()) node.connection().ConnectToProxy();
  if (options.local_server) {
    node.local_server().StartLocalServer();
  } else if (!options.server.empty()) {
    node.connection().ConnectByName(std::nullopt, options.server);
  }
  if (node.settings().settings().server_list_from_built_in && node.addresses().tracker.Load().IsSet())
    node.connection().queries().UpdateServerList();
}

// The capture records what passes the DOSBox driver: without one there is
// nothing to record, which is said rather than leaving an empty file.
bool OpenCapture(PcapWriter& capture, const std::string& path, DosboxDriver* dosbox) {
  if (dosbox == nullptr) {
    std::fprintf(stderr, "vornd: --pcap records the DOSBox driver's packets: give --dosbox-port too\n");
    return false;
  }
  if (!capture.Open(path)) {
    std::fprintf(stderr, "vornd: cannot write the capture file %s\n", path.c_str());
    return false;
  }
  dosbox->SetTap(&capture);
  return true;
}

int Run(const VorndOptions& options) {
  QtProfile stored = options.config_path.empty() ? QtProfile() : QtProfile(QString::fromStdString(options.config_path));
  if (!stored.ReadProblem().empty()) std::fprintf(stderr, "vornd: %s\n", stored.ReadProblem().c_str());
  OverlayProfile profile(stored);
  ApplyOverrides(options, profile);
  if (std::string problem = CheckProfileValues(profile, stored.FileName().toStdString()); !problem.empty()) {
    std::fprintf(stderr, "vornd: %s\n", problem.c_str());
    return 2;
  }
  if (std::string flag = MissingIdentityFlag(profile); !flag.empty()) {
    std::fprintf(stderr, "vornd: %s is missing: give it on the command line or set it in %s\n", flag.c_str(),
                 stored.FileName().toStdString().c_str());
    return 2;
  }
  const DosboxPortSetting dosbox_port = DosboxPort(options, profile);
  if (dosbox_port.on && dosbox_port.port == 0) {
    std::fprintf(stderr, "vornd: %s needs a port from 1 to 65535\n",
                 options.dosbox_port ? "--dosbox-port" : "the profile's DOSBox Port");
    return 2;
  }

  SteadyClock clock;
  EventLoop loop(clock, EventLoop::Idle::Wait);
  const int64_t started_s = clock.NowSeconds();
  std::function<void()> print_stats;  // set once the node exists
  // Saying bye to a server that no longer answers takes seconds; a second
  // signal ends the wait as daemons do.
  SignalWatcher signal_watcher([&loop] { loop.Quit(); },
                               [](int signal) {
                                 static constexpr char kNote[] = "vornd: second signal, stopping at once\n";
                                 [[maybe_unused]] ssize_t written = ::write(2, kNote, sizeof kNote - 1);
                                 std::_Exit(128 + signal);
                               },
                               [&loop, &print_stats] { loop.Post([&] { print_stats(); }); });
  StreamMessageWindow stdout_window(stdout);
  // The receive thread writes a line per hello or query: never onto stdout
  // itself, which may be a pipe nobody drains.
  QueuedMessageWindow messages(stdout_window, clock);
  ConsoleDialogs dialogs(stderr, loop);
  NoUserInfoDialog user_info;
  HeadlessChatWindows chat_windows(loop, [&messages](std::string_view key, std::string_view text, uint32_t) {
    messages.Append(PrefixLines("[" + std::string(key) + "] ", text), MessageClass::Chat);
  });
  std::optional<DosboxDriver> dosbox;
  NodeOptions node_options;
  if (dosbox_port.on) node_options.driver = &dosbox.emplace(messages, dosbox_port.port);
  node_options.chat_windows = &chat_windows;
  // Without a window to show them, running downloads print their progress.
  node_options.chat.progress_lines = true;
  PcapWriter capture;
  if (options.pcap && !OpenCapture(capture, *options.pcap, dosbox ? &*dosbox : nullptr)) return 2;
  StreamMessageWindow stderr_window(stderr);
  QueuedMessageWindow host_lines(stderr_window, clock);
  std::optional<HostLog> host_log;
  Node node({clock, loop, messages, dialogs, profile, user_info}, std::move(node_options));
  host_log.emplace(host_lines, &node.links());
  node.local_server().SetEvents(&*host_log);
  print_stats = [&node, &clock, started_s] {
    const std::string table = PlayerTable(node.local_server().table().Snapshot(), clock.NowSeconds() - started_s);
    std::fputs(table.c_str(), stderr);
  };
  chat_windows.SetOnLastClosed([&node] { node.chat().LeaveChatMode(); });
  if (!node.Start()) return 2;  // its own message said why
  std::fprintf(stderr, "vornd: running as %s\n", FormatPeer(node.LocalAddress()).c_str());
  if (dosbox) std::fprintf(stderr, "vornd: DOSBox driver on 127.0.0.1:%u\n", dosbox->BoundPort());
  TypedLines lines(node, chat_windows, print_stats);
  StdinReader reader(loop, lines);
  loop.Post([&node, &options] { FirstActions(node, options); });
  std::optional<StatsFile> stats_file;
  if (options.stats_file) stats_file.emplace(loop, clock, node.local_server().table(), *options.stats_file);
  loop.Run();
  node.Shutdown();
  return 0;
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = vorn::ParseVorndOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "vornd: %s\nTry 'vornd --help'.\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(vorn::VorndUsage().c_str(), stdout);
    return 0;
  }
  return vorn::Run(*options);
}
