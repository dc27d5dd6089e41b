#include "user_games_sheet.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextDocument>
#include <QVBoxLayout>

#include "core_adapter.h"
#include "dialog_buttons.h"
#include "node/node.h"
#include "settings/user_games_model.h"
#include "text_convert.h"

namespace vorn {
namespace {

QLineEdit* Field(QWidget* parent, const std::string& text, int limit) {
  auto* edit = new QLineEdit(DecodeText(text), parent);
  edit->setMaxLength(limit);
  return edit;
}

std::string Text(const QLineEdit* edit) { return EncodeText(edit->text()); }

// The description shows as written; the patterns are matched as they were
// meant where file names ignore letter case.
QStringList QtNameFilters(std::string_view filter) {
  QStringList filters;
  for (const FileFilter& entry : ParseFileFilter(filter)) {
    QStringList globs;
    for (const std::string& pattern : entry.patterns) globs << DecodeText(CaseInsensitiveGlob(pattern));
    filters << QStringLiteral("%1 (%2)").arg(DecodeText(entry.description).trimmed(), globs.join(QLatin1Char(' ')));
  }
  return filters;
}

QHBoxLayout* WithButton(QLineEdit* edit, QPushButton* button) {
  auto* row = new QHBoxLayout;
  row->addWidget(edit, 1);
  row->addWidget(button);
  return row;
}

// A row whose field sits in a layout: the label still needs its buddy, or
// its mnemonic shows as a stray "&".
void AddRow(QFormLayout* form, const QString& text, QLineEdit* edit, QLayout* field) {
  auto* label = new QLabel(text);
  label->setBuddy(edit);
  form->addRow(label, field);
}

// Paths are long: a field shows about this many characters.
constexpr int kFieldChars = 44;

}  // namespace

std::optional<QString> RunBrowseDialog(QWidget* parent, const BrowseRequest& request) {
  QFileDialog dialog(parent, request.caption, request.directory);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Qt's own dialog shows the descriptions without the patterns behind them.
  dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
  dialog.setNameFilters(QtNameFilters(request.filter));
  if (!request.default_name.isEmpty()) dialog.selectFile(request.default_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

// ---- dialog 106 ---------------------------------------------------------------

CGamesDlg::CGamesDlg(const UserGame& game, Dialogs& dialogs, FileChooser chooser, QWidget* parent)
    : QWidget(parent),
      dialogs_(dialogs),
      chooser_(std::move(chooser)),
      title_(Field(this, game.title, UserGameLimits::kTitle)),
      program_(Field(this, game.program, UserGameLimits::kProgram)),
      arguments_(Field(this, game.arguments, UserGameLimits::kArguments)),
      directory_(Field(this, game.directory, UserGameLimits::kDirectory)),
      icon_(Field(this, game.icon, UserGameLimits::kIcon)),
      browse_program_(new QPushButton(tr("&Browse..."), this)),
      browse_icon_(new QPushButton(tr("B&rowse..."), this)),
      clear_(new QPushButton(tr("&Clear Game"), this)),
      dosbox_(new QCheckBox(tr("Runs in DO&SBox"), this)),
      dosbox_program_(Field(this, game.dosbox_program, UserGameLimits::kProgram)),
      dosbox_config_(Field(this, game.dosbox_config, UserGameLimits::kProgram)),
      dosbox_settings_(new QPlainTextEdit(DecodeText(game.dosbox_settings), this)) {
  program_->setMinimumWidth(program_->fontMetrics().averageCharWidth() * kFieldChars);
  auto* form = new QFormLayout;
  form->addRow(tr("&Title:"), title_);
  AddRow(form, tr("&Program:"), program_, WithButton(program_, browse_program_));
  form->addRow(tr("&Arguments:"), arguments_);
  form->addRow(tr("&Directory:"), directory_);
  AddRow(form, tr("&Icon:"), icon_, WithButton(icon_, browse_icon_));
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(DosboxGroup(game));
  layout->addWidget(clear_, 0, Qt::AlignLeft);
  layout->addStretch(1);
  connect(browse_program_, &QPushButton::clicked, this, &CGamesDlg::BrowseProgram);
  connect(browse_icon_, &QPushButton::clicked, this, &CGamesDlg::BrowseIcon);
  connect(clear_, &QPushButton::clicked, this, &CGamesDlg::Clear);
}

// A DOSBox game: the directory is mounted as drive C:, and the program and
// arguments run there once IPX is connected to this node.
QGroupBox* CGamesDlg::DosboxGroup(const UserGame& game) {
  auto* group = new QGroupBox(this);
  auto* form = new QFormLayout(group);
  dosbox_->setChecked(game.IsDosbox());
  dosbox_->setToolTip(
      tr("Vorn writes a DOSBox configuration of its own that mounts the directory as C:, connects "
         "IPX to this node and starts the program"));
  form->addRow(dosbox_);
  dosbox_program_->setPlaceholderText(tr("dosbox, dosbox-staging or dosbox-x"));
  dosbox_program_->setToolTip(tr("Empty: the first of dosbox, dosbox-staging and dosbox-x found in PATH"));
  form->addRow(tr("DOSBox pro&gram:"), dosbox_program_);
  dosbox_config_->setPlaceholderText(tr("optional: your own configuration, read first"));
  form->addRow(tr("&Own configuration:"), dosbox_config_);
  dosbox_settings_->setPlaceholderText(tr("optional lines, e.g.\n[cpu]\ncycles=max"));
  dosbox_settings_->setTabChangesFocus(true);
  dosbox_settings_->setFixedHeight(dosbox_settings_->fontMetrics().lineSpacing() * 4);
  form->addRow(tr("E&xtra settings:"), dosbox_settings_);
  const auto enable = [this](bool on) {
    for (QWidget* field : {static_cast<QWidget*>(dosbox_program_), static_cast<QWidget*>(dosbox_config_),
                           static_cast<QWidget*>(dosbox_settings_)})
      field->setEnabled(on);
  };
  enable(game.IsDosbox());
  connect(dosbox_, &QCheckBox::toggled, this, [this, enable](bool on) {
    enable(on);
    dosbox_toggled_ = true;
  });
  return group;
}

std::array<QLineEdit*, 7> CGamesDlg::Edits() const {
  return {title_, program_, arguments_, directory_, icon_, dosbox_program_, dosbox_config_};
}

UserGame CGamesDlg::fields() const {
  UserGame game{Text(title_), Text(program_), Text(arguments_), Text(directory_), Text(icon_)};
  if (dosbox_->isChecked()) game.kind = std::string(kDosboxGameKind);
  game.dosbox_program = Text(dosbox_program_);
  game.dosbox_config = Text(dosbox_config_);
  game.dosbox_settings = EncodeText(dosbox_settings_->toPlainText());
  return game;
}

bool CGamesDlg::AnyFieldModified() const {
  if (dosbox_toggled_ || dosbox_settings_->document()->isModified()) return true;
  for (const QLineEdit* edit : Edits()) {
    if (edit->isModified()) return true;
  }
  return false;
}

bool CGamesDlg::CheckLeave() {
  if (MayLeaveGamePage(fields(), AnyFieldModified())) return true;
  dialogs_.ShowMessage("Missing Information", "You must enter a Program and a Title!");
  return false;
}

// A browsed path counts as an edit, so the page cannot be left with a
// program but no title.
void CGamesDlg::BrowseProgram() {
  const std::string program = Text(program_);
  const BrowseRequest request{tr("Choose the Game"), kGameFileFilter, program_->text(),
                              DecodeText(BrowseDirectory(program, Text(directory_)))};
  std::optional<QString> chosen = chooser_(this, request);
  if (!chosen) return;
  program_->setText(*chosen);
  program_->setModified(true);
  program_->setFocus();
  program_->selectAll();
}

void CGamesDlg::BrowseIcon() {
  const BrowseRequest request{tr("Choose the Icon"), kIconFileFilter, icon_->text(),
                              DecodeText(BrowseDirectory(Text(icon_), {}))};
  std::optional<QString> chosen = chooser_(this, request);
  if (!chosen) return;
  icon_->setText(*chosen);
  icon_->setModified(true);
}

void CGamesDlg::Clear() {
  for (QLineEdit* edit : Edits()) {
    edit->clear();
    edit->setModified(false);
  }
  dosbox_->setChecked(false);
  dosbox_settings_->clear();
  dosbox_settings_->document()->setModified(false);
  dosbox_toggled_ = false;
}

// ---- the sheet ----------------------------------------------------------------

GamesSheet::GamesSheet(SettingsStore& store, Dialogs& dialogs, FileChooser chooser, QWidget* parent)
    : QDialog(parent), store_(store), tabs_(new QTabWidget(this)) {
  setWindowTitle(tr("Configure User Games"));
  for (int slot = 1; slot <= kUserGameSlots; ++slot) {
    const UserGame* game = store.userGame(slot);
    auto* page = new CGamesDlg(game ? *game : UserGame{}, dialogs, chooser, tabs_);
    pages_[static_cast<size_t>(slot - 1)] = page;
    tabs_->addTab(page, tr("Game %1").arg(slot));
  }
  // Every tab shows: the sheet is as wide as its tab bar needs.
  tabs_->setUsesScrollButtons(false);
  connect(tabs_, &QTabWidget::currentChanged, this, &GamesSheet::OnPageChanged);
  auto* buttons = OkCancel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
}

CGamesDlg* GamesSheet::page(int slot) const {
  return IsUserGameSlot(slot) ? pages_[static_cast<size_t>(slot - 1)] : nullptr;
}

// The tab bar cannot refuse a change, so an incomplete page is shown again.
void GamesSheet::OnPageChanged(int index) {
  if (index == current_) return;
  if (!pages_[static_cast<size_t>(current_)]->CheckLeave()) {
    const QSignalBlocker blocker(tabs_);
    tabs_->setCurrentIndex(current_);
    return;
  }
  current_ = index;
}

void GamesSheet::accept() {
  if (!pages_[static_cast<size_t>(current_)]->CheckLeave()) return;
  for (int slot = 1; slot <= kUserGameSlots; ++slot) {
    if (store_.SetUserGame(slot, page(slot)->fields())) store_.SaveUserGame(slot);
  }
  QDialog::accept();
}

bool ConfigureUserGames(SettingsStore& store, Dialogs& dialogs, QWidget* parent, FileChooser chooser) {
  GamesSheet sheet(store, dialogs, std::move(chooser), parent);
  return sheet.exec() == QDialog::Accepted;
}

void CoreAdapter::ConfigureUserGames(QWidget* parent) { vorn::ConfigureUserGames(node_.settings(), dialogs_, parent); }

}  // namespace vorn
