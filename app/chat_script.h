#pragma once
// A short script of user actions for running the program unattended (the
// two-instance chat test, screenshots): one step per line, each either done
// at once or waited for within a bounded time. On the first step that fails
// or times out the program ends with a non-zero exit code.
//
//   wait-connected        until connected to a server
//   join                  the "Chat Window" command (joins #chat)
//   wait-users N          until N chat users are known
//   type TEXT             types TEXT into the newest chat window and presses Enter
//   wait-text TEXT        until the newest chat window shows TEXT
//   chat-list             the "Chat List" command
//   tile                  the "Tile" command
//   dump FILE             writes the newest chat window's text runs as
//                         "colour<TAB>text" lines (COLORREF in hex)
//   shot FILE             saves a picture of the main window
//   pause MS              waits MS milliseconds (at most the step limit)
//   print TEXT            writes "script: TEXT" to standard output
//   exit                  ends the program with exit code 0
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <optional>

namespace vorn {

class Vorn95App;
class CVorn95View;

// nullopt with error set when the file cannot be read or holds an unknown step.
std::optional<QStringList> ReadChatScript(const QString& path, QString& error);

class ChatScript final : public QObject {
  Q_OBJECT
 public:
  static constexpr int kStepLimitMs = 20000;
  // However the steps go, the program ends within this time.
  static constexpr int kScriptLimitMs = 60000;
  static constexpr int kPollMs = 50;

  ChatScript(Vorn95App& app, QStringList steps);
  void Start();

 private:
  enum class Outcome { Done, Waiting, Failed };
  void Tick();
  Outcome Run(const QString& verb, const QString& argument);
  Outcome Type(const QString& text);
  Outcome WaitForText(const QString& text);
  Outcome Dump(const QString& path);
  CVorn95View* NewestChatWindow() const;
  void Finish(int code, const QString& why);

  Vorn95App& app_;
  QStringList steps_;
  int next_ = 0;
  QTimer timer_;
  QElapsedTimer step_clock_;
  QElapsedTimer script_clock_;
};

}  // namespace vorn
