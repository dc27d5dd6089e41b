#pragma once
// The tracker's list of servers: a plain text file, one "NAME ADDRESS" a
// line, turned into the one "-" datagram that clients merge into their own
// server lists.
#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net/messages.h"
#include "platform/peer_address.h"

namespace vorn {

inline constexpr size_t kServerNameWidth = 15;

struct ListedServer {
  std::string name;     // at most 15 characters, no control characters
  std::string address;  // "a.b.c.d" or "a.b.c.d:port", in canonical form
};

struct ListProblem {
  size_t line = 0;  // counted from 1
  std::string reason;
};

struct ParsedServerList {
  std::vector<ListedServer> servers;
  std::vector<ListProblem> problems;
};

// Reads the text of a list file. Blank lines and lines whose first non-blank
// character is "#" are skipped; every other line that is not a usable
// "NAME ADDRESS" becomes a problem and is left out.
ParsedServerList ParseServerListText(std::string_view text);

// A dotted IPv4 address with an optional ":port" (1 to 65535), written the
// one way FormatIp writes it. Returns the canonical text, or an empty text
// when the address is not usable by a client.
std::string CanonicalServerAddress(std::string_view text);

// The "-" datagram: as many servers, in list order, as fit in one datagram.
struct ServerListDatagram {
  std::array<uint8_t, kMaxDatagram> bytes{};
  size_t size = 0;
  size_t servers_sent = 0;
  size_t servers_listed = 0;

  std::span<const uint8_t> view() const { return std::span(bytes).first(size); }
};

void BuildServerListDatagram(std::span<const ListedServer> servers, ServerListDatagram& out);

// The list file on disk, re-read when its size or modification time changes.
class ServerListFile {
 public:
  // An empty path means no file: the list is empty and stays so.
  ServerListFile(std::string path, std::ostream& errors);

  // Reads the file; false (with a line on errors) when it cannot be read.
  bool Load();
  // Re-reads the file when it changed since the last read. When it cannot
  // be read any more, the last list stays in use and that is reported once.
  void Refresh();

  const ServerListDatagram& datagram() const { return datagram_; }
  // Whether a server at this address is on the list (port 2213 when the
  // list gives none).
  bool Lists(PeerAddress server) const;
  const std::string& path() const { return path_; }

 private:
  struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modified_ns = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
  };

  bool ReadStamp(Stamp& stamp) const;
  bool ReadAndParse(const Stamp& stamp);
  void ReportProblems(const ParsedServerList& parsed);

  std::string path_;
  std::ostream& errors_;
  Stamp stamp_;
  bool unreadable_reported_ = false;
  ServerListDatagram datagram_;
  std::vector<PeerAddress> addresses_;
};

}  // namespace vorn
