#include "lock_keys.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>

#ifdef VORN_HAVE_X11
#include <X11/XKBlib.h>
#endif

namespace vorn {
namespace {

constexpr int kPollMs = 250;

#ifdef VORN_HAVE_X11
bool ReadFromX11(LockKeyState& state) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = x11 ? x11->display() : nullptr;
  if (display == nullptr) return false;
  auto named = [display](const char* name) {
    Bool on = False;
    const Atom atom = XInternAtom(display, name, True);
    return atom != None && XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr) && on;
  };
  state = {named("Caps Lock"), named("Num Lock"), named("Scroll Lock")};
  return true;
}
#endif

// Any keyboard whose LED is lit.
bool LedOn(const QString& suffix) {
  const QDir leds(QStringLiteral("/sys/class/leds"));
  for (const QString& name : leds.entryList({QStringLiteral("*::") + suffix}, QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile brightness(leds.filePath(name + QStringLiteral("/brightness")));
    if (brightness.open(QIODevice::ReadOnly) && brightness.readLine(8).trimmed().toInt() != 0) return true;
  }
  return false;
}

QLabel* Indicator(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setAlignment(Qt::AlignCenter);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 8);
  return label;
}

}  // namespace

LockKeyState ReadLockKeys() {
  LockKeyState state;
#ifdef VORN_HAVE_X11
  if (QGuiApplication::platformName() == QStringLiteral("xcb") && ReadFromX11(state)) return state;
#endif
  state = {LedOn(QStringLiteral("capslock")), LedOn(QStringLiteral("numlock")), LedOn(QStringLiteral("scrolllock"))};
  return state;
}

LockIndicators::LockIndicators(QWidget* parent)
    : QWidget(parent),
      caps_(Indicator(tr("CAP"), this)),
      num_(Indicator(tr("NUM"), this)),
      scroll_(Indicator(tr("SCRL"), this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(caps_);
  layout->addWidget(num_);
  layout->addWidget(scroll_);
  connect(&poll_, &QTimer::timeout, this, [this] { Show(ReadLockKeys()); });
  poll_.start(kPollMs);
  Show(ReadLockKeys());
}

// An indicator is greyed while its lock is off, as the text stays in place.
void LockIndicators::Show(const LockKeyState& state) {
  caps_->setEnabled(state.caps);
  num_->setEnabled(state.num);
  scroll_->setEnabled(state.scroll);
}

}  // namespace vorn
