#pragma once
// What the widget tests share: an isolated profile on a temporary file with
// the own address 127.0.0.1, scripted answers to the program's questions,
// the whole application on an ephemeral port, and a second node on
// loopback to connect to.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app_prompts.h"
#include "main_frame.h"
#include "node/node.h"
#include "platform/clock.h"
#include "platform/memory_profile.h"
#include "qt_ui_loop.h"
#include "qtprofile/qt_profile.h"
#include "settings/settings_store.h"
#include "support/scripted_dialogs.h"
#include "support/test_identity.h"
#include "support/test_node.h"
#include "vorn95_app.h"
#include "vorn95_view.h"

namespace vorn {

using Shown = ScriptedDialogs::Shown;

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
// Serves the loop for a moment in which nothing should happen.
inline void ProcessBriefly() {
  ProcessUntil([] { return false; }, std::chrono::milliseconds(50));
}

// Waits (bounded) for what a started test program writes.
inline QString AwaitFile(const QString& path) {
  ProcessUntil([&] { return QFile::exists(path); });
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A shell script that only its owner may run.
inline void WriteExecutable(const QString& path, const QString& script) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(("#!/bin/sh\n" + script + "\n").toUtf8());
  file.close();
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

inline QStringList Lines(const QListWidget* list) {
  QStringList lines;
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

// Once a modal dialog of the given type is up, hands it to act, which must
// close it. Another type fails the test; so does one left open, which is
// closed, so that the test does not hang in it.
template <typename Dialog>
void OnNextDialog(std::function<void(Dialog&)> act) {
  auto* poll = new QTimer(qApp);
  auto tries = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act), tries] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && ++*tries < 500) return;
    poll->stop();
    poll->deleteLater();
    if (modal == nullptr) return;
    QPointer<QWidget> open(modal);
    auto* dialog = qobject_cast<Dialog*>(modal);
    EXPECT_NE(dialog, nullptr) << modal->metaObject()->className();
    if (dialog != nullptr) act(*dialog);
    if (!open || !open->isVisible()) return;
    ADD_FAILURE() << open->metaObject()->className() << " stayed open";
    open->close();
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

// A settings store over a profile in memory, for the dialogs that edit it.
class StoreTest : public ::testing::Test {
 protected:
  MemoryProfile profile;
  ScriptedDialogs dialogs;
  ScriptedUserInfoDialog user_info;
  SettingsStore store{profile, dialogs, user_info};
};

// A profile file in a temporary directory: an identity and 127.0.0.1.
struct TempProfile {
  explicit TempProfile(bool with_identity = true) : profile(dir.filePath(QStringLiteral("vorn95.ini"))) {
    if (with_identity)
      WriteTestIdentity(profile, "Tester");
    else
      profile.WriteString("Misc", "my_ip", "127.0.0.1");
  }
  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

  QTemporaryDir dir;
  QtProfile profile;
};

struct AppHarness {
  explicit AppHarness(bool with_identity = true, std::optional<uint16_t> dosbox_port = {}) : store(with_identity) {
    AppOptions options;
    options.node.ephemeral_port = true;
    options.dosbox_port = dosbox_port;
    app = std::make_unique<Vorn95App>(store.profile, options, &dialogs, &prompts);
    dialogs.loop = &app->ui();
  }
  // Starts and waits for the message window's first actions.
  bool StartAndSettle() {
    if (!app->Start()) return false;
    return ProcessUntil([this] { return app->frame().firstActionsDone(); });
  }
  CMainFrame& frame() { return app->frame(); }
  Node& node() { return app->node(); }
  QString MessageText() {
    CVorn95View* view = app->views().messageView();
    return view == nullptr ? QString() : view->outputPane()->toPlainText();
  }

  TempProfile store;
  ScriptedDialogs dialogs;
  ScriptedPrompts prompts;
  std::unique_ptr<Vorn95App> app;
};

// A second node on loopback, in real time, with its own UI loop on the
// test's thread; its text is recorded, never shown.
struct ServerNode {
  ServerNode() {
    WriteTestIdentity(profile, "Host");
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

// The program, started, with a second node serving on loopback that its
// profile lists as "Host" and names as the default server (in other case:
// the name is found ignoring case).
class HostedApp : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.node->Start());
    ASSERT_TRUE(host.node->local_server().StartLocalServer());
    harness.store.profile.WriteString("Servers", "Host", host.AddressText());
    harness.store.profile.WriteString("Servers", "Default Server", "HOST");
    Configure(harness.store.profile);
    ASSERT_TRUE(harness.StartAndSettle());
  }
  virtual void Configure(Profile&) {}
  bool Connected() { return harness.node().connection().IsConnected(); }
  // The chat window the menu opens, #chat; null if it did not open.
  CVorn95View* OpenChatWindow() {
    if (!harness.frame().Dispatch(CommandId::ChatWindow)) return nullptr;
    return harness.app->views().FindChatView("#chat");
  }
  // A line as the user types it into a chat window.
  static void Say(CVorn95View& chat, const QString& line) {
    chat.inputLine()->setText(line);
    emit chat.inputLine()->returnPressed();
  }
  QString MessageText() { return harness.MessageText(); }

  ServerNode host;
  AppHarness harness{true, /*dosbox_port=*/0};
};

}  // namespace vorn
