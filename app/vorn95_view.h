#pragma once
// A coloured text window: the output pane (read-only rich text), the input
// line along its bottom, logging to a file, freezing and wrapping. The one
// message window ("Server Messages") and every chat window are such views.
#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "chat/chat_windows.h"
#include "chat_input_line.h"
#include "platform/profile.h"

class QTextEdit;

namespace vorn {

class AppPrompts;
class ViewRegistry;

// What a view needs from the program around it.
struct ViewServices {
  ViewRegistry& views;
  Profile& profile;
  AppPrompts& prompts;
  // The own IPv4 address (host order) for the message window's banner.
  std::function<uint32_t()> own_ip = [] { return 0u; };
  // Posted to the main frame when a message window has been created.
  std::function<void()> message_window_ready = [] {};
  // A line typed into an input line: the chat's commands and lines.
  std::function<void(const std::string& line, ChatInputId input)> execute_line = [](const std::string&, ChatInputId) {};
  // The input line's completion list and its only feedback.
  std::function<std::vector<std::string>()> correspondents = [] { return std::vector<std::string>{}; };
  std::function<std::vector<std::string>()> users = [] { return std::vector<std::string>{}; };
  std::function<void()> beep = [] {};
  // Whether lines begin with the time they were shown.
  std::function<bool()> timestamps = [] { return false; };
};

// The document of a view: it holds the window key as its title.
class CVorn95Doc {
 public:
  const std::string& title() const { return title_; }
  void SetTitle(std::string title) { title_ = std::move(title); }

 private:
  std::string title_;
};

class CVorn95View final : public QWidget {
  Q_OBJECT
 public:
  // The pane's limit; beyond it the oldest half of the text is dropped.
  static constexpr int kTextLimit = 32767;
  static constexpr std::string_view kMessageWindowKey = "Server Messages";

  // Registers with the application object: the message window while its
  // creation flag is set, otherwise a chat window on channel_key.
  CVorn95View(const ViewServices& services, std::string channel_key, ChatInputId input_id, QWidget* parent = nullptr);
  ~CVorn95View() override;

  // The last creation step, once the view sits in its frame: the message
  // window prints its banner and reports that it is ready.
  void FinishCreation();

  // UI thread. Appends text in colour (0x00BBGGRR).
  void Append(std::string_view text, uint32_t colour);

  bool isMessageWindow() const { return is_message_window_; }
  // "Server Messages" or the channel key: the key of its placement and
  // background colour.
  const std::string& windowKey() const { return doc_.title(); }
  QString caption() const;
  ChatInputId inputId() const { return input_id_; }

  // ---- commands ----
  void ToggleFreeze();
  void ToggleWrap();
  // The frame's title again, after logging started or stopped.
  void ShowCaption();
  // A chat window whose connection ended keeps its text, greyed, with its
  // input line off and "(offline)" in its title, until the next connection.
  void SetOffline(bool offline);
  bool isOffline() const { return offline_; }
  // The keyboard focus moves between the text and the input line.
  void SwitchPane();
  void ChooseBackgroundColor();
  void ToggleLogging();
  bool CanCopy() const;
  void Copy();
  bool CanCut() const;
  void Cut();
  bool CanPaste() const;
  void Paste();
  void ClearText();
  bool CanUndo() const;
  void Undo();

  bool isFrozen() const { return frozen_; }
  bool isWrapping() const { return wrap_; }
  bool isLogging() const { return !log_path_.isEmpty(); }
  const QString& logPath() const { return log_path_; }
  QColor backgroundColor() const;
  QTextEdit* outputPane() const { return output_; }
  CChatView* inputLine() const { return input_; }

 private:
  void BuildWidgets();
  void ApplyStoredBackground();
  void SetBackground(const QColor& colour);
  void PrintBanner();
  void WriteToLog(const std::string& text) const;
  void MakeRoomFor(int incoming);
  void InsertColoured(const QString& text, uint32_t colour);
  void ScrollToEnd();
  void WatchClipboard();

  ViewServices services_;
  CVorn95Doc doc_;
  bool is_message_window_ = false;
  ChatInputId input_id_ = 0;
  QTextEdit* output_ = nullptr;
  CChatView* input_ = nullptr;
  QString log_path_;
  bool frozen_ = false;
  bool offline_ = false;
  bool wrap_ = true;
  bool at_line_start_ = true;
  int indent_chars_ = 0;  // where a wrapped line of a chat window continues
  bool clipboard_has_text_ = false;
};

}  // namespace vorn
