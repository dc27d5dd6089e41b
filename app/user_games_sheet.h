#pragma once
// The game configuration sheet: one page per user-game slot, with browse
// buttons for the program and the icon, a button that clears the game, and
// a check that keeps an incomplete page from being left.
#include <QDialog>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dialogs.h"
#include "settings/settings_store.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace vorn {

// What a browse button asks for: an existing file.
struct BrowseRequest {
  QString caption;
  std::string_view filter;  // classic "description|patterns|...||" form
  QString default_name;
  QString directory;  // empty: the dialog's own choice
};
using FileChooser = std::function<std::optional<QString>(QWidget* parent, const BrowseRequest&)>;

// An open-file dialog for an existing file.
std::optional<QString> RunBrowseDialog(QWidget* parent, const BrowseRequest& request);

// Dialog 106: one slot.
class CGamesDlg final : public QWidget {
  Q_OBJECT
 public:
  CGamesDlg(const UserGame& game, Dialogs& dialogs, FileChooser chooser, QWidget* parent);

  UserGame fields() const;
  bool AnyFieldModified() const;
  // Shows "Missing Information" and returns false when the page may not be
  // left.
  bool CheckLeave();

  QLineEdit* titleEdit() const { return title_; }                 // 1019
  QLineEdit* programEdit() const { return program_; }             // 1020
  QPushButton* programBrowse() const { return browse_program_; }  // 1021
  QLineEdit* argumentsEdit() const { return arguments_; }         // 1023
  QLineEdit* directoryEdit() const { return directory_; }         // 1022
  QLineEdit* iconEdit() const { return icon_; }                   // 1024
  QPushButton* iconBrowse() const { return browse_icon_; }        // 1025
  QPushButton* clearButton() const { return clear_; }             // 1027
  QCheckBox* dosboxCheck() const { return dosbox_; }
  QLineEdit* dosboxProgramEdit() const { return dosbox_program_; }
  QLineEdit* dosboxConfigEdit() const { return dosbox_config_; }
  QPlainTextEdit* dosboxSettingsEdit() const { return dosbox_settings_; }

 private:
  std::array<QLineEdit*, 7> Edits() const;
  QGroupBox* DosboxGroup(const UserGame& game);
  void BrowseProgram();
  void BrowseIcon();
  void Clear();

  Dialogs& dialogs_;
  FileChooser chooser_;
  QLineEdit* title_;
  QLineEdit* program_;
  QLineEdit* arguments_;
  QLineEdit* directory_;
  QLineEdit* icon_;
  QPushButton* browse_program_;
  QPushButton* browse_icon_;
  QPushButton* clear_;
  QCheckBox* dosbox_;
  QLineEdit* dosbox_program_;
  QLineEdit* dosbox_config_;
  QPlainTextEdit* dosbox_settings_;
  bool dosbox_toggled_ = false;
};

class GamesSheet final : public QDialog {
  Q_OBJECT
 public:
  GamesSheet(SettingsStore& store, Dialogs& dialogs, FileChooser chooser, QWidget* parent);
  // Slots 1 to kUserGameSlots.
  CGamesDlg* page(int slot) const;
  QTabWidget* tabs() const { return tabs_; }

 public slots:
  void accept() override;

 private:
  void OnPageChanged(int index);

  SettingsStore& store_;
  QTabWidget* tabs_;
  std::array<CGamesDlg*, kUserGameSlots> pages_{};
  int current_ = 0;
};

// Runs the sheet; on OK every changed slot is stored. True for OK.
bool ConfigureUserGames(SettingsStore& store, Dialogs& dialogs, QWidget* parent, FileChooser chooser = RunBrowseDialog);

}  // namespace vorn
