#pragma once
// The one-line input field under a chat window's text and under the
// message window: Enter sends the line, Up and Down walk through the lines
// sent before, Tab completes the name before the cursor from the users
// present or, with no name begun, fills in "/msg <nickname> " for the users
// one has exchanged private messages with; repeated Tabs cycle.
#include <QLineEdit>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

// The lines sent from one input line, oldest first, no two equal. Walking
// up past the oldest line sets the at-start flag, so the next step down
// shows the second oldest again.
class InputHistory {
 public:
  static constexpr size_t kLimit = 51;

  // The newest line; an equal earlier one leaves its place. Resets the walk.
  void Add(const std::string& line);
  // The line to show, or nullopt when the caller should beep instead.
  std::optional<std::string> StepBack();
  std::optional<std::string> StepForward();

  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
  std::optional<size_t> position_;
  bool at_start_ = false;
};

// Cycles from the most recent correspondent to the oldest, then again.
class NicknameCompletion {
 public:
  // nullopt for an empty list.
  std::optional<std::string> Step(const std::vector<std::string>& correspondents);

 private:
  std::optional<size_t> position_;
};

// The word before the cursor completed from names (ignoring case, in
// alphabetical order); a Tab on the text it left shows the next name.
class WordCompletion {
 public:
  struct Result {
    QString text;
    int cursor = 0;
  };
  // nullopt when no word is begun at the cursor or no name fits it.
  std::optional<Result> Step(const QString& text, int cursor, const QStringList& names);

 private:
  QString shown_;
  QString before_;
  QString after_;
  QStringList matches_;
  qsizetype next_ = 0;
};

struct ChatInputServices {
  // A line the user sent (never empty).
  std::function<void(const std::string& line)> send = [](const std::string&) {};
  // The nicknames of private messages, in the order of first use.
  std::function<std::vector<std::string>()> correspondents = [] { return std::vector<std::string>{}; };
  // The nicknames of the chat's users.
  std::function<std::vector<std::string>()> users = [] { return std::vector<std::string>{}; };
  // The only feedback at the ends of the history and of the completion.
  std::function<void()> beep = [] {};
};

class CChatView final : public QLineEdit {
  Q_OBJECT
 public:
  static constexpr int kMaxLineLength = 200;

  explicit CChatView(ChatInputServices services, QWidget* parent = nullptr);

  // The steps the keys start; public so the window's commands and tests can
  // run them too.
  void SendLine();
  void HistoryBack();
  void HistoryForward();
  void CompleteNickname();

  const InputHistory& history() const { return history_; }

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Show(const std::string& line);
  void FitHeightToFont();

  ChatInputServices services_;
  InputHistory history_;
  NicknameCompletion completion_;
  WordCompletion words_;
};

}  // namespace vorn
