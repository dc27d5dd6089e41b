#pragma once
// The colour settings: a sheet with the four message colours on its first
// page and the nickname colours on its second, and the small dialog that
// asks for a nickname. Edits stay in the pages' copies until OK.
#include <QDialog>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dialogs.h"
#include "settings/color_sheet_model.h"

class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace vorn {

class AppPrompts;

// A box filled with one colour, or left empty.
class ColorSwatch final : public QWidget {
  Q_OBJECT
 public:
  explicit ColorSwatch(QWidget* parent);
  void SetColor(std::optional<QColor> color);
  std::optional<QColor> color() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::optional<QColor> color_;
};

// Dialog 142.
class NicknameDialog final : public QDialog {
  Q_OBJECT
 public:
  explicit NicknameDialog(QWidget* parent);
  QLineEdit* nicknameEdit() const { return nickname_; }  // 1007
  QPushButton* okButton() const { return ok_; }

 private:
  QLineEdit* nickname_;
  QPushButton* ok_;
};

// Page 0: a choose button and a swatch per message colour.
class CSystemColorsTab final : public QWidget {
  Q_OBJECT
 public:
  CSystemColorsTab(const MessageColors& colors, AppPrompts& prompts, QWidget* parent);
  const MessageColors& colors() const { return colors_; }
  // 1036, 1038, 1040, 1042 and the swatches beside them.
  QPushButton* chooseButton(MessageClass cls) const;
  ColorSwatch* swatch(MessageClass cls) const;

 private:
  void Choose(size_t index);
  void Repaint();

  MessageColors colors_;
  AppPrompts& prompts_;
  std::array<QPushButton*, MessageColors::kClasses.size()> buttons_{};
  std::array<ColorSwatch*, MessageColors::kClasses.size()> swatches_{};
};

// Page 1: the nickname list and its colours.
class CColorsDlg final : public QWidget {
  Q_OBJECT
 public:
  using AskNickname = std::function<std::optional<std::string>(QWidget*)>;

  // preselected: a nickname to list and select at once; empty for none.
  CColorsDlg(NicknameColors colors, std::string_view preselected, Dialogs& dialogs, AppPrompts& prompts,
             QWidget* parent);
  const NicknameColors& colors() const { return colors_; }
  // Dialog 142 unless a test answers instead.
  void SetAskNickname(AskNickname ask) { ask_nickname_ = std::move(ask); }

  QListWidget* nicknameList() const { return list_; }    // 1030
  QPushButton* colorButton() const { return color_; }    // 1032
  ColorSwatch* swatch() const { return swatch_; }        // 1031
  QPushButton* addButton() const { return add_; }        // 1001
  QPushButton* removeButton() const { return remove_; }  // 1034
  // The selected nickname; empty when no line is selected.
  std::string SelectedNickname() const;

 private:
  void Fill(std::string_view select);
  void OnSelectionChanged();
  void ChooseColor();
  void AddNickname();
  void RemoveNickname();

  NicknameColors colors_;
  Dialogs& dialogs_;
  AppPrompts& prompts_;
  AskNickname ask_nickname_;
  QListWidget* list_;
  QPushButton* color_;
  ColorSwatch* swatch_;
  QPushButton* add_;
  QPushButton* remove_;
};

class ColorsSheet final : public QDialog {
  Q_OBJECT
 public:
  // Opens on the nickname page when a nickname is given.
  ColorsSheet(SettingsStore& store, std::string_view nickname, Dialogs& dialogs, AppPrompts& prompts, QWidget* parent);
  CSystemColorsTab* systemPage() const { return system_; }
  CColorsDlg* nicknamePage() const { return nicknames_; }
  QTabWidget* tabs() const { return tabs_; }

 public slots:
  void accept() override;

 private:
  SettingsStore& store_;
  QTabWidget* tabs_;
  CSystemColorsTab* system_;
  CColorsDlg* nicknames_;
};

// Loads the colours, runs the sheet and saves them on OK. nickname: the
// chat list's selected nickname, empty from the menu. True for OK.
bool RunColorsSheet(SettingsStore& store, std::string_view nickname, Dialogs& dialogs, AppPrompts& prompts,
                    QWidget* parent);

}  // namespace vorn
