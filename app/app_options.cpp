#include "app_options.h"

#include "settings/setting_rules.h"

namespace vorn {
namespace {

bool TakeValue(const QStringList& arguments, int& i, QString& value, QString& error) {
  if (i + 1 >= arguments.size()) {
    error = QStringLiteral("%1 needs a value").arg(arguments[i]);
    return false;
  }
  value = arguments[++i];
  return true;
}

bool TakePort(const QStringList& arguments, int& i, std::optional<uint16_t>& port, QString& error) {
  QString text;
  if (!TakeValue(arguments, i, text, error)) return false;
  bool ok = false;
  const uint value = text.toUInt(&ok);
  if (!ok || value == 0 || value > 0xFFFF) {
    error = QStringLiteral("%1 needs a port from 1 to 65535").arg(arguments[i - 1]);
    return false;
  }
  port = static_cast<uint16_t>(value);
  return true;
}

// A flag's value that breaks the rule of the setting it overrides.
bool Checked(const QString& flag, const QString& value, QString& error) {
  const std::string problem = CheckFlagValue(flag.toStdString(), value.toStdString());
  error = QString::fromStdString(problem);
  return problem.empty();
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(const QStringList& arguments, QString& error) {
  CommandLine line;
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    bool ok = true;
    if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
      line.help = true;
    } else if (arg == QStringLiteral("--config")) {
      ok = TakeValue(arguments, i, line.config, error);
    } else if (arg == QStringLiteral("--my-ip")) {
      ok = TakeValue(arguments, i, line.my_ip, error) && Checked(arg, line.my_ip, error);
    } else if (arg == QStringLiteral("--screenshot")) {
      ok = TakeValue(arguments, i, line.screenshot, error);
    } else if (arg == QStringLiteral("--chat-script")) {
      ok = TakeValue(arguments, i, line.chat_script, error);
    } else if (arg == QStringLiteral("--dosbox-port")) {
      ok = TakePort(arguments, i, line.dosbox_port, error);
    } else if (arg.startsWith(QStringLiteral("--"))) {
      error = QStringLiteral("unknown option %1").arg(arg);
      ok = false;
    } else if (line.server.isEmpty()) {
      line.server = arg;
    } else {
      error = QStringLiteral("more than one server address");
      ok = false;
    }
    if (!ok) return std::nullopt;
  }
  return line;
}

QString Usage() {
  return QStringLiteral(
      "Usage: vorn95 [options] [server-address]\n"
      "  server-address      connect to this server (a.b.c.d[:port]) after start-up\n"
      "  --config FILE       use this profile file instead of your own profile\n"
      "  --my-ip ADDRESS     use this own address for this run (not stored)\n"
      "  --dosbox-port PORT  let games in DOSBox play: ipxnet connect 127.0.0.1 PORT\n"
      "                      (without it: the DOSBox Port setting, 10213 unless set;\n"
      "                      a setting of 0 turns DOSBox games off)\n"
      "  --screenshot FILE   save a picture of the main window to FILE, then exit\n"
      "  --chat-script FILE  run the steps in FILE unattended (for tests), then exit\n"
      "  --help              show this text\n");
}

}  // namespace vorn
