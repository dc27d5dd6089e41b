// vorn95: the desktop program.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app_options.h"
#include "artwork.h"
#include "chat_script.h"
#include "platform/overlay_profile.h"
#include "platform/text.h"
#include "platform/udp_socket.h"
#include "qtprofile/qt_profile.h"
#include "session_end.h"
#include "settings/dosbox_game.h"
#include "settings/setting_rules.h"
#include "single_instance.h"
#include "vorn95_app.h"

namespace vorn {
namespace {

// Long enough for the message window and its banner to be drawn.
constexpr int kScreenshotDelayMs = 1500;

void BringToFront(CMainFrame& frame) {
  if (frame.isMinimized()) frame.showNormal();
  QWidget* top = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : &frame;
  top->raise();
  top->activateWindow();
}

// Grabs the window, then leaves through File > Exit as a user would.
void ScheduleScreenshot(CMainFrame& frame, const QString& file) {
  QTimer::singleShot(kScreenshotDelayMs, &frame, [&frame, file] {
    if (!frame.grab().save(file)) std::fprintf(stderr, "vorn95: cannot write %s\n", qPrintable(file));
    frame.Dispatch(CommandId::Exit);
  });
}

// Whether anybody can see a message box: not on the platforms without a screen.
bool HasScreen() {
  const QString platform = QGuiApplication::platformName();
  return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

// A problem with the profile, on standard error and in a message box.
void Warn(const std::string& problem) {
  if (problem.empty()) return;
  std::fprintf(stderr, "vorn95: %s\n", problem.c_str());
  if (HasScreen()) QMessageBox::warning(nullptr, QStringLiteral("Vorn"), QString::fromStdString(problem));
}

// A stored value that would be read as something else stops the program
// as a wrong flag does: one line, exit status 2, and the box for a user who
// started it from a menu.
bool Refuse(const std::string& problem) {
  if (problem.empty()) return false;
  std::fprintf(stderr, "vorn95: %s\n", problem.c_str());
  if (HasScreen()) QMessageBox::critical(nullptr, QStringLiteral("Vorn"), QString::fromStdString(problem));
  return true;
}

// The flag's port, else the "DOSBox Port" setting, on by default. A port
// from the setting that another program holds turns DOSBox games off for
// this run instead of stopping the program; the launcher tells why.
std::optional<uint16_t> DosboxPortFor(const CommandLine& line, Profile& profile, std::string& off_reason) {
  if (line.dosbox_port) return line.dosbox_port;
  const DosboxPortSetting setting = ReadDosboxPort(profile, std::to_string(kDefaultDosboxPort));
  if (!setting.on) {
    off_reason = "DOSBox games are off: the DOSBox Port setting is empty or 0.";
  } else if (setting.port == 0) {
    off_reason = "DOSBox games are off: the DOSBox Port setting is no port from 1 to 65535.";
  } else if (UdpSocket probe; !probe.Open() || !probe.Bind(0x7F000001, setting.port)) {
    off_reason = Format("DOSBox games are off: DOSBox port %u is in use by another program.", unsigned{setting.port});
  } else {
    return setting.port;
  }
  std::fprintf(stderr, "vorn95: %s\n", off_reason.c_str());
  return std::nullopt;
}

int Run(const CommandLine& line) {
  QtProfile stored = line.config.isEmpty() ? QtProfile() : QtProfile(line.config);
  Warn(stored.ReadProblem());
  std::optional<QStringList> script;
  if (!line.chat_script.isEmpty()) {
    QString error;
    script = ReadChatScript(line.chat_script, error);
    if (!script) {
      std::fprintf(stderr, "vorn95: %s\n", qPrintable(error));
      return 2;
    }
  }
  OverlayProfile profile(stored);
  if (!line.my_ip.isEmpty()) profile.Override("Misc", "my_ip", line.my_ip.toStdString());
  if (Refuse(CheckProfileValues(profile, stored.FileName().toStdString()))) return 2;
  SingleInstance instance(stored.FileName());
  if (!instance.Claim()) return 0;

  AppOptions options;
  options.command_line = line.server.toStdString();
  options.dosbox_port = DosboxPortFor(line, profile, options.dosbox_off_reason);
  Vorn95App app(profile, options);
  QObject::connect(&instance, &SingleInstance::RaiseRequested, &app.frame(), [&app] { BringToFront(app.frame()); });
  if (!app.Start()) return 1;
  SessionEndNotifier session_end([&app] { app.frame().EndSession(); });
  if (!line.screenshot.isEmpty()) ScheduleScreenshot(app.frame(), line.screenshot);
  std::optional<ChatScript> runner;
  if (script) runner.emplace(app, *script).Start();
  return QApplication::exec();
}

}  // namespace
}  // namespace vorn

namespace {

// Help needs no display, and the application object does: it is answered
// from the raw arguments first. Qt's own options are not known there, so a
// line that does not parse yet is parsed again once the application exists.
bool PrintedEarlyHelp(int argc, char** argv) {
  QStringList raw;
  for (int i = 0; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
  QString ignored;
  const std::optional<vorn::CommandLine> line = vorn::ParseCommandLine(raw, ignored);
  if (!line || !line->help) return false;
  std::fputs(qPrintable(vorn::Usage()), stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (PrintedEarlyHelp(argc, argv)) return 0;
  vorn::BlockSessionEndSignals();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vorn95"));
  QApplication::setOrganizationName(QStringLiteral("Vorn"));
  QApplication::setDesktopFileName(QStringLiteral("vorn95"));
  QApplication::setWindowIcon(vorn::AppIcon());
  QString error;
  const std::optional<vorn::CommandLine> line = vorn::ParseCommandLine(QApplication::arguments(), error);
  if (!line) {
    std::fprintf(stderr, "vorn95: %s\n%s", qPrintable(error), qPrintable(vorn::Usage()));
    return 2;
  }
  if (line->help) {
    std::fputs(qPrintable(vorn::Usage()), stdout);
    return 0;
  }
  return vorn::Run(*line);
}
