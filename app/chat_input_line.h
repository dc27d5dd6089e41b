#pragma once
// The one-line input field under a chat window's text and under the
// message window: Enter sends the line, Up and Down walk through the lines
// sent before, Tab fills in "/msg <nickname> " for the users one has
// exchanged private messages with.
#include <QLineEdit>
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

struct ChatInputServices {
  // A line the user sent (never empty).
  std::function<void(const std::string& line)> send = [](const std::string&) {};
  // The nicknames of private messages, in the order of first use.
  std::function<std::vector<std::string>()> correspondents = [] { return std::vector<std::string>{}; };
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
};

}  // namespace vorn
