// Game frames across impaired links: a vornd host and three vornd players,
// each with a stand-in for DOSBox playing at 35 ticks a second, every
// player's traffic through a vorn-impair relay of its own. One run per link
// profile and loss-protection mode; prints one table row each. Figures only:
// it never fails on timing.
//
// Usage: game_link_bench [--seconds N] [--warmup N] [--profiles LAN,broadband,Wi-Fi,bad]
//                        [--modes off,automatic,always] [--seed S]
//                        [--link DELAY_MS,JITTER_MS,LOSS,REORDER,DUP]... [--vornd PATH]
// --link runs a profile of one's own (e.g. 20,0,0.01,0,0: 20 ms, 1% loss);
// with it, only the profiles named in --profiles run as well.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "common/signal_watcher.h"
#include "links/game_traffic.h"
#include "links/link_network.h"
#include "platform/text.h"

namespace vorn::gamebench {
namespace {

const std::vector<LinkProfile> kProfiles = {
    {"LAN", 0, 0, 0, 0, 0},
    {"broadband", 10, 2, 0.002, 0, 0},
    {"Wi-Fi", 20, 10, 0.01, 0.01, 0},
    {"bad", 50, 30, 0.05, 0.02, 0.01},
};

struct BenchOptions {
  int seconds = 20;
  int warmup_seconds = 5;
  std::vector<std::string> profiles;  // empty: all
  std::vector<std::string> modes;     // empty: off and automatic where vornd has the flag
  std::vector<LinkProfile> links;     // --link: profiles of one's own, run before the named ones
  uint64_t seed = 1;
  std::string vornd = VORND_PATH;  // another build's, to compare
};

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) items.push_back(item);
  return items;
}

// "DELAY,JITTER,LOSS,REORDER,DUP": milliseconds, then probabilities.
std::optional<LinkProfile> ParseLink(const std::string& text) {
  std::vector<std::string> parts = SplitList(text);
  if (parts.size() != 5) return std::nullopt;
  LinkProfile link{text,
                   std::atoi(parts[0].c_str()),
                   std::atoi(parts[1].c_str()),
                   std::atof(parts[2].c_str()),
                   std::atof(parts[3].c_str()),
                   std::atof(parts[4].c_str())};
  bool valid = link.delay_ms >= 0 && link.delay_ms <= 10'000 && link.jitter_ms >= 0 && link.jitter_ms <= 10'000;
  for (double p : {link.drop, link.reorder, link.duplicate}) valid = valid && p >= 0 && p <= 1;
  if (!valid) return std::nullopt;
  return link;
}

std::optional<BenchOptions> ParseOptions(int argc, char** argv) {
  BenchOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string flag = argv[i];
    if (i + 1 >= argc) return std::nullopt;
    std::string value = argv[++i];
    if (flag == "--seconds")
      options.seconds = std::atoi(value.c_str());
    else if (flag == "--warmup")
      options.warmup_seconds = std::atoi(value.c_str());
    else if (flag == "--profiles")
      options.profiles = SplitList(value);
    else if (flag == "--modes")
      options.modes = SplitList(value);
    else if (flag == "--seed")
      options.seed = std::strtoull(value.c_str(), nullptr, 10);
    else if (flag == "--vornd")
      options.vornd = value;
    else if (auto link = ParseLink(value); flag == "--link" && link)
      options.links.push_back(*link);
    else
      return std::nullopt;
  }
  if (options.seconds < 1 || options.seconds > 600 || options.warmup_seconds < 0 || options.warmup_seconds > 120)
    return std::nullopt;
  return options;
}

bool VorndHasLossProtection(const std::string& vornd) {
  ChildProcess help({vornd, "--help"});
  help.WaitForExit(std::chrono::seconds(10));
  return help.output().find("--loss-protection") != std::string::npos;
}

constexpr int kStartAttempts = 3;

TrafficPlan PlanFor(const LinkProfile& profile, const BenchOptions& options) {
  TrafficPlan plan;
  plan.warmup = std::chrono::seconds(options.warmup_seconds);
  plan.measured = std::chrono::seconds(options.seconds);
  // Long enough for the slowest copy of the last frames to arrive.
  plan.drain = std::chrono::milliseconds(1000 + 4 * (profile.delay_ms + profile.jitter_ms));
  plan.hop_delay_ms = profile.HopDelayMs();
  return plan;
}

struct RunResult {
  TrafficFigures figures;
  uint64_t wire_bytes = 0;
  double load = 0;  // the machine's one-minute load average at the end
  std::string note;
};

// Other work on the machine delays the processes: the figures are read
// together with this.
double LoadAverage() {
  double load = 0;
  if (FILE* file = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(file, "%lf", &load) != 1) load = 0;
    std::fclose(file);
  }
  return load;
}

std::optional<RunResult> PlayOnce(LinkNetwork& network, const TrafficPlan& plan, std::string& error) {
  GameTraffic traffic;
  if (!traffic.Register(network.dosbox_ports(), error)) return std::nullopt;
  RunResult result;
  result.figures = traffic.Play(plan, [&network] { network.RequestRelayReports(); });
  network.RequestRelayReports();
  uint64_t before = 0, after = 0;
  if (!network.RelayBytes(1, before, error) || !network.RelayBytes(2, after, error)) return std::nullopt;
  result.wire_bytes = after - before;
  result.load = LoadAverage();
  return result;
}

std::optional<RunResult> RunOne(const ToolPaths& tools, const LinkProfile& profile, const std::string& mode,
                                const BenchOptions& options, RunningGroups& groups, std::string& error) {
  TempDir folder;
  if (folder.path().empty()) {
    error = "cannot make a scratch folder";
    return std::nullopt;
  }
  groups.SetFolder(folder.path());
  std::optional<RunResult> result;
  // A port that was free when picked may be taken by the time a process
  // binds it (other programs run on this machine too): then start afresh.
  for (int attempt = 1; attempt <= kStartAttempts && !result; ++attempt) {
    LinkNetwork network(tools, folder, mode, options.seed, groups);
    bool started = network.Start(profile, error);
    if (started) {
      std::fprintf(stderr, "  connected; %d s warm-up, %d s counted\n", options.warmup_seconds, options.seconds);
      result = PlayOnce(network, PlanFor(profile, options), error);
    }
    std::string problems = network.Stop();
    if (result) result->note = problems;
    if (started || error.find("in use") == std::string::npos) break;
    std::fprintf(stderr, "  a port was taken meanwhile; starting afresh\n");
  }
  return result;
}

double Percent(uint64_t part, uint64_t whole) {
  return whole == 0 ? 0 : 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

std::string Header() {
  return Format("%-14s %-10s %7s %7s %7s %7s %6s %7s %8s %8s %8s %5s\n", "profile", "mode", "frames", "deliv%",
                "bcast%", "dir%", "late%", "repeats", "add p50", "add p99", "B/frame", "load");
}

std::string Row(const LinkProfile& profile, const std::string& mode, const RunResult& run) {
  const TrafficFigures& f = run.figures;
  return Format(
      "%-14s %-10s %7llu %7.2f %7.2f %7.2f %6.2f %7llu %6.1fms %6.1fms %8.1f %5.1f\n", profile.name.c_str(),
      mode.c_str(), static_cast<unsigned long long>(f.frames_sent), Percent(f.delivered, f.expected),
      Percent(f.broadcasts_delivered, f.broadcasts_expected),
      Percent(f.delivered - f.broadcasts_delivered, f.expected - f.broadcasts_expected), Percent(f.late, f.delivered),
      static_cast<unsigned long long>(f.repeats), f.added_p50_ms, f.added_p99_ms,
      f.frames_sent == 0 ? 0.0 : static_cast<double>(run.wire_bytes) / static_cast<double>(f.frames_sent), run.load);
}

std::vector<std::string> ModesToRun(const BenchOptions& options, const std::string& vornd) {
  if (!options.modes.empty()) return options.modes;
  if (VorndHasLossProtection(vornd)) return {"off", "automatic"};
  std::fputs("vornd has no --loss-protection: one mode, today's (each frame sent once)\n", stderr);
  return {""};
}

std::vector<LinkProfile> ProfilesToRun(const BenchOptions& options) {
  std::vector<LinkProfile> profiles = options.links;
  for (const LinkProfile& profile : kProfiles) {
    bool named = std::ranges::find(options.profiles, profile.name) != options.profiles.end();
    if (named || (options.profiles.empty() && options.links.empty())) profiles.push_back(profile);
  }
  return profiles;
}

// One run, its progress on standard error and its row added to table;
// false when it could not be made.
bool RunRow(const ToolPaths& tools, const LinkProfile& profile, const std::string& mode, const BenchOptions& options,
            RunningGroups& groups, std::string& table) {
  const std::string shown = mode.empty() ? "(none)" : mode;
  std::fprintf(stderr, "[%s, %s] starting a host, a proxy, 3 relays and 3 players\n", profile.name.c_str(),
               shown.c_str());
  std::string error;
  auto result = RunOne(tools, profile, mode, options, groups, error);
  if (!result) {
    std::fprintf(stderr, "  failed: %s\n", error.c_str());
    return false;
  }
  if (!result->note.empty()) std::fprintf(stderr, "  note: %s\n", result->note.c_str());
  if (result->figures.misdirected > 0)
    std::fprintf(stderr, "  note: %llu directed frames reached a game they were not for\n",
                 static_cast<unsigned long long>(result->figures.misdirected));
  table += Row(profile, shown, *result);
  std::fprintf(stderr, "  %s", Row(profile, shown, *result).c_str());
  return true;
}

// One run per profile and mode; progress on standard error, the table on
// standard output at the end. The count of runs that failed to start.
int Run(const BenchOptions& options) {
  const ToolPaths tools{options.vornd, VORN_PROXY_PATH, VORN_IMPAIR_PATH};
  RunningGroups groups;
  SignalWatcher interrupt([&groups] {
    std::fputs("interrupted: stopping every process\n", stderr);
    groups.KillAll();
    std::_Exit(130);
  });
  const std::vector<std::string> modes = ModesToRun(options, tools.vornd);
  std::string table = Header();
  int failures = 0;
  for (const LinkProfile& profile : ProfilesToRun(options))
    for (const std::string& mode : modes) failures += RunRow(tools, profile, mode, options, groups, table) ? 0 : 1;
  std::printf("4 players, %d ticks/s, %d s counted after %d s warm-up, seed %llu\n%s", TrafficPlan{}.ticks_per_second,
              options.seconds, options.warmup_seconds, static_cast<unsigned long long>(options.seed), table.c_str());
  return failures;
}

}  // namespace
}  // namespace vorn::gamebench

int main(int argc, char** argv) {
  auto options = vorn::gamebench::ParseOptions(argc, argv);
  if (!options) {
    std::fputs(
        "Usage: game_link_bench [--seconds N (1-600, default 20)] [--warmup N (0-120, default 5)]\n"
        "                       [--profiles LAN,broadband,Wi-Fi,bad] [--modes off,automatic,always]\n"
        "                       [--link DELAY_MS,JITTER_MS,LOSS,REORDER,DUP]... [--seed S]\n"
        "                       [--vornd PATH (another build's vornd)]\n",
        stderr);
    return 2;
  }
  return vorn::gamebench::Run(*options) == 0 ? 0 : 1;
}
