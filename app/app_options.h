#pragma once
// The program's command line: an optional server address, and flags for
// running it with another profile or own address, or for a screenshot.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace vorn {

struct CommandLine {
  QString server;       // connect to it once the message window is up
  QString config;       // a profile file instead of the user's own profile
  QString my_ip;        // the own address for this run, not stored
  QString screenshot;   // grab the main window into this file, then exit
  QString chat_script;  // run these user actions unattended, for tests
  // Set: games in DOSBox play through the program, which listens for
  // DOSBox's IPX tunnel on 127.0.0.1 and this port.
  std::optional<uint16_t> dosbox_port;
  bool help = false;
};

// nullopt with error set for a line that cannot be understood.
std::optional<CommandLine> ParseCommandLine(const QStringList& arguments, QString& error);
QString Usage();

}  // namespace vorn
