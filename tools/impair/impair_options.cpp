#include "impair/impair_options.h"

#include <algorithm>
#include <charconv>

#include "common/flags.h"
#include "platform/text.h"

namespace vorn {
namespace {

template <typename Number>
bool ParseWhole(const std::string& text, Number& number) {
  if (text.empty() || !std::ranges::all_of(text, IsDigit)) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

bool ParseProbability(const std::string& text, double& p) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), p, std::chars_format::fixed);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() && p >= 0.0 && p <= 1.0;
}

// "a.b.c.d:port" exactly as written back, inside 127.0.0.0/8.
bool ParseTarget(const std::string& text, PeerAddress& target) {
  target = ParseAddressWithPort(text, 0);
  return FormatPeer(target) == text && IsLoopbackAddress(target.ip) && target.port != 0;
}

void SetBoth(RelayConfig& config, auto ImpairmentRates::*field, auto value) {
  for (ImpairmentRates& rates : config.rates) rates.*field = value;
}

bool TakeRate(const std::vector<std::string>& args, size_t& i, RelayConfig& config, std::string& error) {
  std::string value;
  for (auto [flag, field] :
       {std::pair{"--drop", &ImpairmentRates::drop}, std::pair{"--dup", &ImpairmentRates::duplicate},
        std::pair{"--reorder", &ImpairmentRates::reorder}}) {
    if (!TakeValue(args, i, flag, value, error)) continue;
    double p = 0;
    if (error.empty() && !ParseProbability(value, p)) error = std::string(flag) + " takes a probability from 0 to 1";
    SetBoth(config, field, p);
    return true;
  }
  for (auto [flag, field] :
       {std::pair{"--delay-ms", &ImpairmentRates::delay_ms}, std::pair{"--jitter-ms", &ImpairmentRates::jitter_ms}}) {
    if (!TakeValue(args, i, flag, value, error)) continue;
    int32_t ms = 0;
    if (error.empty() && (!ParseWhole(value, ms) || ms > kMaxDelayMs))
      error = std::string(flag) + " takes milliseconds from 0 to " + std::to_string(kMaxDelayMs);
    SetBoth(config, field, ms);
    return true;
  }
  return false;
}

bool TakeFlag(const std::vector<std::string>& args, size_t& i, RelayConfig& config, std::string& error) {
  std::string value;
  if (TakeValue(args, i, "--listen", value, error)) {
    if (error.empty() && !ParseWhole(value, config.listen_port)) error = "--listen takes a port from 0 to 65535";
  } else if (TakeValue(args, i, "--target", value, error)) {
    if (error.empty() && !ParseTarget(value, config.target))
      error = "--target takes A.B.C.D:PORT inside 127.0.0.0/8 (this is a test tool: loopback only)";
  } else if (TakeValue(args, i, "--seed", value, error)) {
    if (error.empty() && !ParseWhole(value, config.seed)) error = "--seed takes a whole number";
  } else if (TakeValue(args, i, "--max-clients", value, error)) {
    if (error.empty() &&
        (!ParseWhole(value, config.max_clients) || config.max_clients < 1 || config.max_clients > kMaxRelayClients))
      error = "--max-clients takes a number from 1 to " + std::to_string(kMaxRelayClients);
  } else {
    return TakeRate(args, i, config, error);
  }
  return true;
}

}  // namespace

std::optional<ImpairOptions> ParseImpairOptions(const std::vector<std::string>& args, std::string& error) {
  ImpairOptions options;
  for (size_t i = 0; i < args.size() && error.empty(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      options.help = true;
    } else if (!TakeFlag(args, i, options.config, error)) {
      error = "unknown argument " + args[i];
    }
  }
  if (error.empty() && !options.help && !options.config.target.IsSet()) error = "--target is required";
  if (!error.empty()) return std::nullopt;
  return options;
}

std::string ImpairUsage() {
  return "Usage: vorn-impair --listen PORT --target A.B.C.D:PORT [--drop P] [--dup P]\n"
         "                   [--reorder P] [--delay-ms N] [--jitter-ms N] [--seed S]\n"
         "                   [--max-clients N]\n"
         "\n"
         "A UDP relay for tests. Datagrams that clients send to 127.0.0.1:PORT go on\n"
         "to the target from an upstream port of each client's own; what the target\n"
         "answers there goes back to that client. In both directions the relay\n"
         "impairs the traffic:\n"
         "\n"
         "  --drop P        drop a datagram with probability P (0 to 1)\n"
         "  --dup P         send a datagram twice with probability P\n"
         "  --reorder P     hold a datagram back and send it after the next one\n"
         "  --delay-ms N    delay every datagram by N ms\n"
         "  --jitter-ms N   and by a further 0 to N ms, drawn per datagram\n"
         "  --seed S        seed of the decisions: the same seed, the same run\n"
         "                  (default 1)\n"
         "  --max-clients N serve at most N clients (default 16, at most 256)\n"
         "  -h, --help      show this text and exit\n"
         "\n"
         "The target must lie in 127.0.0.0/8. SIGINT or SIGTERM ends the relay; it\n"
         "then prints what it did on standard output. SIGUSR1 prints the same\n"
         "counters so far and lets it run on.\n";
}

std::string FormatCounters(const RelayCounters& counters) {
  std::string text;
  for (RelayDirection d : {RelayDirection::ToTarget, RelayDirection::ToClient}) {
    const DirectionCounters& c = counters[d];
    text += Format(
        "%s: received %llu sent %llu dropped %llu duplicated %llu reordered %llu delayed %llu"
        " queue-full %llu bytes received %llu sent %llu\n",
        d == RelayDirection::ToTarget ? "to target" : "to client", static_cast<unsigned long long>(c.received),
        static_cast<unsigned long long>(c.sent), static_cast<unsigned long long>(c.dropped),
        static_cast<unsigned long long>(c.duplicated), static_cast<unsigned long long>(c.reordered),
        static_cast<unsigned long long>(c.delayed), static_cast<unsigned long long>(c.queue_full),
        static_cast<unsigned long long>(c.bytes_received), static_cast<unsigned long long>(c.bytes_sent));
  }
  text += Format("clients admitted %llu refused %llu; foreign %llu; oversize %llu\n",
                 static_cast<unsigned long long>(counters.clients_admitted),
                 static_cast<unsigned long long>(counters.clients_refused),
                 static_cast<unsigned long long>(counters.foreign), static_cast<unsigned long long>(counters.oversize));
  return text;
}

}  // namespace vorn
