#include "chat_script.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>
#include <array>
#include <cstdio>

#include "text_convert.h"
#include "vorn95_app.h"
#include "vorn95_view.h"

namespace vorn {
namespace {

constexpr std::array<const char*, 12> kVerbs = {"wait-connected", "join",      "wait-users", "type",
                                                "wait-text",      "chat-list", "tile",       "dump",
                                                "shot",           "pause",     "print",      "exit"};

QString VerbOf(const QString& step) { return step.section(QLatin1Char(' '), 0, 0); }
QString ArgumentOf(const QString& step) { return step.section(QLatin1Char(' '), 1); }

}  // namespace

std::optional<QStringList> ReadChatScript(const QString& path, QString& error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    error = QStringLiteral("cannot read %1").arg(path);
    return std::nullopt;
  }
  QStringList steps;
  for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
    const QString step = raw.trimmed();
    if (step.isEmpty() || step.startsWith(QLatin1Char('#'))) continue;
    const QString verb = VerbOf(step);
    if (std::none_of(kVerbs.begin(), kVerbs.end(), [&](const char* v) { return verb == QLatin1String(v); })) {
      error = QStringLiteral("unknown script step: %1").arg(step);
      return std::nullopt;
    }
    steps << step;
  }
  return steps;
}

ChatScript::ChatScript(Vorn95App& app, QStringList steps) : app_(app), steps_(std::move(steps)) {
  connect(&timer_, &QTimer::timeout, this, &ChatScript::Tick);
}

void ChatScript::Start() {
  step_clock_.start();
  script_clock_.start();
  timer_.start(kPollMs);
}

void ChatScript::Tick() {
  // Each step that completes at once lets the next one run in the same tick.
  while (next_ < steps_.size()) {
    const QString& step = steps_[next_];
    const Outcome outcome = Run(VerbOf(step), ArgumentOf(step));
    if (outcome == Outcome::Failed) return Finish(3, QStringLiteral("step failed: %1").arg(step));
    if (outcome == Outcome::Waiting) {
      if (step_clock_.elapsed() > kStepLimitMs || script_clock_.elapsed() > kScriptLimitMs) {
        Finish(3, QStringLiteral("step timed out: %1").arg(step));
      }
      return;
    }
    std::printf("script: done %s\n", qPrintable(step));
    std::fflush(stdout);
    ++next_;
    step_clock_.restart();
  }
}

ChatScript::Outcome ChatScript::Run(const QString& verb, const QString& argument) {
  CMainFrame& frame = app_.frame();
  Node& node = app_.node();
  if (verb == QLatin1String("wait-connected"))
    return node.connection().IsConnected() ? Outcome::Done : Outcome::Waiting;
  if (verb == QLatin1String("join")) return frame.Dispatch(CommandId::ChatWindow) ? Outcome::Done : Outcome::Waiting;
  if (verb == QLatin1String("chat-list")) return frame.Dispatch(CommandId::ChatList) ? Outcome::Done : Outcome::Waiting;
  if (verb == QLatin1String("tile")) return frame.Dispatch(CommandId::Tile) ? Outcome::Done : Outcome::Waiting;
  if (verb == QLatin1String("wait-users"))
    return node.chat().ChatListPeers().size() >= argument.toUInt() ? Outcome::Done : Outcome::Waiting;
  if (verb == QLatin1String("type")) return Type(argument);
  if (verb == QLatin1String("wait-text")) return WaitForText(argument);
  if (verb == QLatin1String("dump")) return Dump(argument);
  if (verb == QLatin1String("shot")) return frame.grab().save(argument) ? Outcome::Done : Outcome::Failed;
  if (verb == QLatin1String("pause"))
    return step_clock_.elapsed() >= argument.toInt() ? Outcome::Done : Outcome::Waiting;
  if (verb == QLatin1String("print")) {
    std::printf("script: %s\n", qPrintable(argument));
    return Outcome::Done;
  }
  // "exit": the event loop ends; no further step runs.
  Finish(0, {});
  return Outcome::Waiting;
}

CVorn95View* ChatScript::NewestChatWindow() const {
  const std::vector<CVorn95View*>& views = app_.views().chatViews();
  return views.empty() ? nullptr : views.back();
}

// Through the keyboard path, as a user would.
ChatScript::Outcome ChatScript::Type(const QString& text) {
  CVorn95View* view = NewestChatWindow();
  if (view == nullptr) return Outcome::Waiting;
  CChatView* input = view->inputLine();
  input->setFocus();
  input->insert(text);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(input, &press);
  return Outcome::Done;
}

ChatScript::Outcome ChatScript::WaitForText(const QString& text) {
  CVorn95View* view = NewestChatWindow();
  return view != nullptr && view->outputPane()->toPlainText().contains(text) ? Outcome::Done : Outcome::Waiting;
}

ChatScript::Outcome ChatScript::Dump(const QString& path) {
  CVorn95View* view = NewestChatWindow();
  QFile file(path);
  if (view == nullptr || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return Outcome::Failed;
  for (QTextBlock block = view->outputPane()->document()->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const uint32_t colour = RefFromColor(fragment.charFormat().foreground().color());
      file.write(QStringLiteral("%1\t%2\n").arg(colour, 6, 16, QLatin1Char('0')).arg(fragment.text()).toUtf8());
    }
  }
  return Outcome::Done;
}

void ChatScript::Finish(int code, const QString& why) {
  timer_.stop();
  if (!why.isEmpty()) std::fprintf(stderr, "vorn95: script: %s\n", qPrintable(why));
  QCoreApplication::exit(code);
}

}  // namespace vorn
