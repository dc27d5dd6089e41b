#pragma once
// The questions the main frame and the text views ask the user, behind one
// port so that tests can answer them. QtPrompts asks with real dialogs.
#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>
#include <string>
#include <string_view>

namespace vorn {

// Dialog 155: what to do with a log file that already exists.
enum class LogFileChoice { Overwrite, Append, Cancel };

class AppPrompts {
 public:
  virtual ~AppPrompts() = default;
  // OK/Cancel; true for OK.
  virtual bool AskOkCancel(std::string_view caption, std::string_view text) = 0;
  // The save dialog of "Log to File"; nullopt when cancelled.
  virtual std::optional<QString> ChooseLogFile(const QString& default_name) = 0;
  virtual LogFileChoice AskLogFileChoice(const QString& path) = 0;
  // The standard colour dialog; nullopt when cancelled.
  virtual std::optional<QColor> ChooseColor(const QColor& current) = 0;
  // Dialog 156: a player's name; nullopt when cancelled.
  virtual std::optional<std::string> AskWhoIs() = 0;
  // Dialog 100.
  virtual void ShowAbout() = 0;
};

class QtPrompts final : public AppPrompts {
 public:
  // Dialogs open over the parent; set it once the main frame exists.
  void SetParent(QWidget* parent) { parent_ = parent; }

  bool AskOkCancel(std::string_view caption, std::string_view text) override;
  std::optional<QString> ChooseLogFile(const QString& default_name) override;
  LogFileChoice AskLogFileChoice(const QString& path) override;
  std::optional<QColor> ChooseColor(const QColor& current) override;
  std::optional<std::string> AskWhoIs() override;
  void ShowAbout() override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace vorn
