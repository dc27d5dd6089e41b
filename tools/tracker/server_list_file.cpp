#include "tracker/server_list_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <utility>

#include "platform/peer_address.h"
#include "platform/text.h"

namespace vorn {
namespace {

// The tracker answers with one datagram of at most ~2 KB, so a bigger file
// is a mistake; reading it whole would only cost memory.
constexpr std::streamsize kMaxFileBytes = 1 << 20;
constexpr std::string_view kBlanks = " \t";
constexpr uint16_t kServerPort = 2213;  // a listed address without one

std::string_view Trim(std::string_view text) {
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool HasControlCharacter(std::string_view text) {
  return std::ranges::any_of(text, [](char c) {
    auto byte = static_cast<uint8_t>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

// 1 to 65535 written in decimal digits only.
bool ParsePort(std::string_view text, uint16_t& port) {
  if (text.empty() || text.size() > 5 || !std::ranges::all_of(text, IsDigit)) return false;
  int32_t value = ParseDecimal(text);
  if (value < 1 || value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

bool ParseLine(std::string_view line, ListedServer& server, std::string& reason) {
  size_t split = line.find_last_of(kBlanks);
  if (split == std::string_view::npos) {
    reason = "expected a name and an address";
    return false;
  }
  std::string_view name = Trim(line.substr(0, split));
  server.address = CanonicalServerAddress(line.substr(split + 1));
  if (name.size() > kServerNameWidth) {
    reason = "the name is longer than 15 characters";
  } else if (HasControlCharacter(name)) {
    reason = "the name holds a control character";
  } else if (server.address.empty()) {
    reason = "the address is not A.B.C.D or A.B.C.D:PORT";
  } else {
    server.name = name;
    return true;
  }
  return false;
}

}  // namespace

std::string CanonicalServerAddress(std::string_view text) {
  std::string_view ip_text = text;
  uint16_t port = 0;
  if (size_t colon = text.find(':'); colon != std::string_view::npos) {
    ip_text = text.substr(0, colon);
    if (!ParsePort(text.substr(colon + 1), port)) return {};
  }
  // The round trip refuses everything but plain dotted decimal: no "[", no
  // leading zeros, no parts above 255, nothing after the last part.
  uint32_t ip = ParseDottedQuad(ip_text);
  std::string canonical = FormatIp(ip);
  if (ip == 0 || canonical != ip_text) return {};
  if (ip >= 0xE0000000) return {};  // multicast, broadcast: no server lives there
  if (port != 0) canonical += ":" + std::to_string(port);
  return canonical;
}

ParsedServerList ParseServerListText(std::string_view text) {
  ParsedServerList parsed;
  size_t line_number = 0;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    ListedServer server;
    std::string reason;
    if (ParseLine(line, server, reason)) {
      parsed.servers.push_back(std::move(server));
    } else {
      parsed.problems.push_back({line_number, std::move(reason)});
    }
  }
  return parsed;
}

void BuildServerListDatagram(std::span<const ListedServer> servers, ServerListDatagram& out) {
  // Room for the entries between the frame and the terminating zero.
  constexpr size_t kRoom = kMaxDatagram - kFrameSize - 1;
  std::string text;
  text.reserve(kRoom);
  out.servers_sent = 0;
  out.servers_listed = servers.size();
  for (const ListedServer& server : servers) {
    std::string_view name = Truncate(server.name, kServerNameWidth);
    size_t entry_size = kServerNameWidth + 1 + server.address.size() + 2;
    if (text.size() + entry_size > kRoom) break;  // later ones would be out of order
    text.append(name).append(kServerNameWidth - name.size(), ' ');
    text.append(" ").append(server.address).append("\r\n");
    ++out.servers_sent;
  }
  out.size = BuildText(out.bytes, {kTypeServerList, text});
}

ServerListFile::ServerListFile(std::string path, std::ostream& errors) : path_(std::move(path)), errors_(errors) {
  BuildServerListDatagram({}, datagram_);
}

bool ServerListFile::Load() {
  if (path_.empty()) return true;
  Stamp stamp;
  if (!ReadStamp(stamp) || !ReadAndParse(stamp)) {
    errors_ << path_ << ": cannot read the server list\n" << std::flush;
    return false;
  }
  return true;
}

void ServerListFile::Refresh() {
  if (path_.empty()) return;
  Stamp stamp;
  bool readable = ReadStamp(stamp);
  if (readable && stamp == stamp_) return;
  if (readable) readable = ReadAndParse(stamp);
  if (readable) {
    unreadable_reported_ = false;
  } else if (!unreadable_reported_) {
    errors_ << path_ << ": cannot read the server list; still answering with the last one read\n" << std::flush;
    unreadable_reported_ = true;
  }
}

bool ServerListFile::ReadStamp(Stamp& stamp) const {
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  stamp = {info.st_dev, info.st_ino, info.st_size, int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec};
  return true;
}

bool ServerListFile::ReadAndParse(const Stamp& stamp) {
  std::ifstream file(path_, std::ios::binary);
  if (!file) return false;
  std::string text(static_cast<size_t>(kMaxFileBytes), '\0');
  file.read(text.data(), kMaxFileBytes);
  if (file.bad()) return false;
  text.resize(static_cast<size_t>(file.gcount()));
  if (file.peek() != std::ifstream::traits_type::eof())
    errors_ << path_ << ": only the first " << kMaxFileBytes << " bytes are read\n";
  ParsedServerList parsed = ParseServerListText(text);
  ReportProblems(parsed);
  BuildServerListDatagram(parsed.servers, datagram_);
  addresses_.clear();
  addresses_.reserve(parsed.servers.size());
  for (const ListedServer& server : parsed.servers)
    addresses_.push_back(ParseAddressWithPort(server.address, kServerPort));
  stamp_ = stamp;
  return true;
}

bool ServerListFile::Lists(PeerAddress server) const {
  return std::find(addresses_.begin(), addresses_.end(), server) != addresses_.end();
}

void ServerListFile::ReportProblems(const ParsedServerList& parsed) {
  for (const ListProblem& problem : parsed.problems)
    errors_ << path_ << ":" << problem.line << ": " << problem.reason << "; line skipped\n";
  errors_ << std::flush;
}

}  // namespace vorn
