#pragma once
// What the widget tests share: an isolated profile on a temporary file with
// the own address 127.0.0.1, scripted answers to the program's questions,
// the whole application on an ephemeral port, and a second node on
// loopback to connect to.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app_prompts.h"
#include "node/node.h"
#include "platform/clock.h"
#include "platform/memory_profile.h"
#include "qt_ui_loop.h"
#include "qtprofile/qt_profile.h"
#include "support/scripted_dialogs.h"
#include "support/test_node.h"
#include "vorn95_app.h"

namespace vorn {

// Serves the Qt event loop until pred holds or the limit passes.
inline bool ProcessUntil(const std::function<bool()>& pred,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // Closed windows go as the program's own loop would let them.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  return true;
}

// Once a modal dialog is up, hands it to act (which should close it).
inline void OnNextModal(std::function<void(QWidget*)> act) {
  auto* poll = new QTimer(qApp);
  auto tries = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act), tries] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && ++*tries < 500) return;
    poll->stop();
    poll->deleteLater();
    if (modal != nullptr) act(modal);
  });
  poll->start(10);
}

class ScriptedPrompts final : public AppPrompts {
 public:
  bool AskOkCancel(std::string_view caption, std::string_view) override {
    asked.emplace_back(caption);
    return answer_ok;
  }
  std::optional<QString> ChooseLogFile(const QString&) override { return log_file; }
  LogFileChoice AskLogFileChoice(const QString&) override {
    ++log_choices_asked;
    return log_choice;
  }
  std::optional<QColor> ChooseColor(const QColor&) override { return colour; }
  std::optional<std::string> AskWhoIs() override {
    asked.emplace_back("Who Is?");
    return who_is;
  }
  void ShowAbout() override { asked.emplace_back("About"); }

  std::vector<std::string> asked;
  bool answer_ok = true;
  std::optional<QString> log_file;
  LogFileChoice log_choice = LogFileChoice::Cancel;
  int log_choices_asked = 0;
  std::optional<QColor> colour;
  std::optional<std::string> who_is;
};

// A profile file in a temporary directory: an identity and 127.0.0.1.
struct TempProfile {
  explicit TempProfile(bool with_identity = true) : profile(dir.filePath(QStringLiteral("vorn95.ini"))) {
    profile.WriteString("Misc", "my_ip", "127.0.0.1");
    if (!with_identity) return;
    profile.WriteString("User Info", "NickName", "Tester");
    profile.WriteString("User Info", "RealName", "Test User");
    profile.WriteString("User Info", "email", "tester@example.org");
  }
  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  QTemporaryDir dir;
  QtProfile profile;
};

struct AppHarness {
  explicit AppHarness(bool with_identity = true, std::string command_line = {}) : store(with_identity) {
    AppOptions options;
    options.command_line = std::move(command_line);
    options.node.ephemeral_port = true;
    app = std::make_unique<CVorn95App>(store.profile, options, &dialogs, &prompts);
    dialogs.loop = &app->ui();
  }
  // Starts and waits for the message window's first actions.
  bool StartAndSettle() {
    if (!app->Start()) return false;
    return ProcessUntil([this] { return app->frame().firstActionsDone(); });
  }
  CMainFrame& frame() { return app->frame(); }
  Node& node() { return app->node(); }

  TempProfile store;
  ScriptedDialogs dialogs;
  ScriptedPrompts prompts;
  std::unique_ptr<CVorn95App> app;
};

// A second node on loopback, in real time, with its own UI loop on the
// test's thread; its text is recorded, never shown.
struct ServerNode {
  ServerNode() {
    profile.WriteString("User Info", "NickName", "Host");
    profile.WriteString("User Info", "RealName", "Host Node");
    profile.WriteString("User Info", "email", "host@example.org");
    profile.WriteString("Misc", "my_ip", "127.0.0.1");
    dialogs.loop = &ui;
    NodeOptions options;
    options.ephemeral_port = true;
    node = std::make_unique<Node>(NodePorts{clock, ui, window, dialogs, profile, user_info}, options);
  }
  ~ServerNode() {
    ui.StopDelivering();
    node.reset();
  }
  std::string AddressText() const { return "127.0.0.1:" + std::to_string(node->endpoint().BoundPort()); }

  SteadyClock clock;
  QtUiLoop ui;
  RecordingWindow window;
  ScriptedDialogs dialogs;
  ScriptedUserInfoDialog user_info;
  MemoryProfile profile;
  std::unique_ptr<Node> node;
};

}  // namespace vorn
