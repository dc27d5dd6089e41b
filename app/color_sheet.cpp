#include "color_sheet.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app_prompts.h"
#include "core_adapter.h"
#include "dialog_buttons.h"
#include "node/node.h"
#include "text_convert.h"

namespace vorn {
namespace {

constexpr QSize kSwatchSize(48, 20);

QString ChooseCaption(MessageClass cls) {
  switch (cls) {
    case MessageClass::Action:
      return QObject::tr("&Action...");
    case MessageClass::Server:
      return QObject::tr("&Server...");
    case MessageClass::Private:
      return QObject::tr("&Private...");
    case MessageClass::Chat:
      break;
  }
  return QObject::tr("C&hat...");
}

QString ColorLabel(MessageClass cls) {
  switch (cls) {
    case MessageClass::Action:
      return QObject::tr("Actions");
    case MessageClass::Server:
      return QObject::tr("Server messages");
    case MessageClass::Private:
      return QObject::tr("Private messages");
    case MessageClass::Chat:
      break;
  }
  return QObject::tr("Chat");
}

std::optional<std::string> AskWithDialog(QWidget* parent) {
  NicknameDialog dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return EncodeText(dialog.nicknameEdit()->text());
}

}  // namespace

// ---- swatch -------------------------------------------------------------------

ColorSwatch::ColorSwatch(QWidget* parent) : QWidget(parent) { setMinimumSize(kSwatchSize); }

void ColorSwatch::SetColor(std::optional<QColor> color) {
  color_ = color;
  update();
}

void ColorSwatch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (color_) painter.fillRect(rect(), *color_);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ---- dialog 142 ---------------------------------------------------------------

NicknameDialog::NicknameDialog(QWidget* parent) : QDialog(parent), nickname_(new QLineEdit(this)) {
  setWindowTitle(tr("Nickname"));
  nickname_->setMaxLength(static_cast<int>(kColorNicknameChars));
  auto* buttons = OkCancel(this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  // An empty name would become a nameless value in the stored profile.
  ok_->setEnabled(false);
  connect(nickname_, &QLineEdit::textChanged, this, [this](const QString& text) { ok_->setEnabled(!text.isEmpty()); });
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(tr("&Nickname:"), this);
  label->setBuddy(nickname_);
  layout->addWidget(label);
  layout->addWidget(nickname_);
  layout->addWidget(buttons);
}

// ---- page 0 -------------------------------------------------------------------

CSystemColorsTab::CSystemColorsTab(const MessageColors& colors, AppPrompts& prompts, QWidget* parent)
    : QWidget(parent), colors_(colors), prompts_(prompts) {
  auto* grid = new QGridLayout(this);
  for (size_t i = 0; i < MessageColors::kClasses.size(); ++i) {
    const MessageClass cls = MessageColors::kClasses[i];
    swatches_[i] = new ColorSwatch(this);
    buttons_[i] = new QPushButton(ChooseCaption(cls), this);
    const int row = static_cast<int>(i);
    grid->addWidget(new QLabel(ColorLabel(cls), this), row, 0);
    grid->addWidget(swatches_[i], row, 1);
    grid->addWidget(buttons_[i], row, 2);
    connect(buttons_[i], &QPushButton::clicked, this, [this, i] { Choose(i); });
  }
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(static_cast<int>(MessageColors::kClasses.size()), 1);
  Repaint();
}

QPushButton* CSystemColorsTab::chooseButton(MessageClass cls) const {
  for (size_t i = 0; i < MessageColors::kClasses.size(); ++i) {
    if (MessageColors::kClasses[i] == cls) return buttons_[i];
  }
  return nullptr;
}

ColorSwatch* CSystemColorsTab::swatch(MessageClass cls) const {
  for (size_t i = 0; i < MessageColors::kClasses.size(); ++i) {
    if (MessageColors::kClasses[i] == cls) return swatches_[i];
  }
  return nullptr;
}

void CSystemColorsTab::Choose(size_t index) {
  const MessageClass cls = MessageColors::kClasses[index];
  if (std::optional<QColor> chosen = prompts_.ChooseColor(ColorFromRef(colors_.Get(cls)))) {
    colors_.Set(cls, RefFromColor(*chosen));
    Repaint();
  }
}

void CSystemColorsTab::Repaint() {
  for (size_t i = 0; i < MessageColors::kClasses.size(); ++i) {
    swatches_[i]->SetColor(ColorFromRef(colors_.Get(MessageColors::kClasses[i])));
  }
}

// ---- page 1 -------------------------------------------------------------------

CColorsDlg::CColorsDlg(NicknameColors colors, std::string_view preselected, Dialogs& dialogs, AppPrompts& prompts,
                       QWidget* parent)
    : QWidget(parent),
      colors_(std::move(colors)),
      dialogs_(dialogs),
      prompts_(prompts),
      ask_nickname_(AskWithDialog),
      list_(new QListWidget(this)),
      color_(new QPushButton(tr("&Color..."), this)),
      swatch_(new ColorSwatch(this)),
      add_(new QPushButton(tr("&Add..."), this)),
      remove_(new QPushButton(tr("&Remove"), this)) {
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(swatch_);
  buttons->addWidget(color_);
  buttons->addSpacing(12);
  buttons->addWidget(add_);
  buttons->addWidget(remove_);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  connect(list_, &QListWidget::itemSelectionChanged, this, &CColorsDlg::OnSelectionChanged);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { ChooseColor(); });
  connect(color_, &QPushButton::clicked, this, &CColorsDlg::ChooseColor);
  connect(add_, &QPushButton::clicked, this, &CColorsDlg::AddNickname);
  connect(remove_, &QPushButton::clicked, this, &CColorsDlg::RemoveNickname);
  Fill(preselected);
}

std::string CColorsDlg::SelectedNickname() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? std::string() : EncodeText(selected.front()->text());
}

// A nickname to select that is not listed yet joins with the chat colour.
void CColorsDlg::Fill(std::string_view select) {
  if (!select.empty()) colors_.Ensure(select);
  const QSignalBlocker blocker(list_);
  list_->clear();
  for (const std::string& nickname : colors_.Nicknames()) {
    auto* item = new QListWidgetItem(DecodeText(nickname), list_);
    if (!select.empty() && nickname == select) {
      item->setSelected(true);
      list_->setCurrentItem(item);
    }
  }
  OnSelectionChanged();
}

void CColorsDlg::OnSelectionChanged() {
  const std::string nickname = SelectedNickname();
  color_->setEnabled(!nickname.empty());
  remove_->setEnabled(!nickname.empty());
  if (nickname.empty()) {
    swatch_->SetColor(std::nullopt);
  } else {
    swatch_->SetColor(ColorFromRef(colors_.ColorOf(nickname)));
  }
}

void CColorsDlg::ChooseColor() {
  const std::string nickname = SelectedNickname();
  if (nickname.empty()) return;
  if (std::optional<QColor> chosen = prompts_.ChooseColor(ColorFromRef(colors_.ColorOf(nickname)))) {
    colors_.SetColor(nickname, RefFromColor(*chosen));
    OnSelectionChanged();
  }
}

void CColorsDlg::AddNickname() {
  std::optional<std::string> nickname = ask_nickname_(this);
  if (!nickname || nickname->empty()) return;
  colors_.Add(*nickname);
  Fill(*nickname);
}

void CColorsDlg::RemoveNickname() {
  const std::string nickname = SelectedNickname();
  if (nickname.empty() || !dialogs_.AskYesNo("Delete Color", RemoveColorQuestion(nickname))) return;
  colors_.Remove(nickname);
  Fill({});
}

// ---- the sheet ----------------------------------------------------------------

ColorsSheet::ColorsSheet(SettingsStore& store, std::string_view nickname, Dialogs& dialogs, AppPrompts& prompts,
                         QWidget* parent)
    : QDialog(parent),
      store_(store),
      tabs_(new QTabWidget(this)),
      system_(new CSystemColorsTab(MessageColors(store), prompts, tabs_)),
      nicknames_(new CColorsDlg(NicknameColors(store.ChatColors(), store.ColorOf(MessageClass::Chat)), nickname,
                                dialogs, prompts, tabs_)) {
  setWindowTitle(tr("Colors"));
  tabs_->addTab(system_, tr("System Colors"));
  tabs_->addTab(nicknames_, tr("Nickname Colors"));
  tabs_->setCurrentIndex(nickname.empty() ? 0 : 1);
  auto* buttons = OkCancel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
}

void ColorsSheet::accept() {
  ApplyColorSheet(store_, system_->colors(), nicknames_->colors());
  QDialog::accept();
}

bool RunColorsSheet(SettingsStore& store, std::string_view nickname, Dialogs& dialogs, AppPrompts& prompts,
                    QWidget* parent) {
  store.LoadColors();
  ColorsSheet sheet(store, nickname, dialogs, prompts, parent);
  return sheet.exec() == QDialog::Accepted;
}

void CoreAdapter::RunColorsSheet(QWidget* parent, std::string_view nickname) {
  vorn::RunColorsSheet(node_.settings(), nickname, dialogs_, prompts_, parent);
}

}  // namespace vorn
