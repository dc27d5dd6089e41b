#include "console_ports.h"

#include <string>

#include "platform/headless_progress.h"

namespace vorn {

void StreamMessageWindow::Append(std::string_view text, MessageClass) { Write({}, text); }

void StreamMessageWindow::AppendPrefixed(std::string_view prefix, std::string_view text) { Write(prefix, text); }

void StreamMessageWindow::Write(std::string_view prefix, std::string_view text) {
  std::lock_guard lock(mutex_);
  std::string out(prefix);
  out.reserve(text.size() + prefix.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (pending_cr_ && c != '\n') out += '\r';
    pending_cr_ = c == '\r';
    if (!pending_cr_) out += c;
    if (c == '\n' && i + 1 < text.size()) out += prefix;
  }
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

void ConsoleDialogs::ShowMessage(std::string_view caption, std::string_view text) {
  std::fprintf(out_, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(), static_cast<int>(text.size()),
               text.data());
  std::fflush(out_);
}

bool ConsoleDialogs::AskYesNo(std::string_view caption, std::string_view text) {
  std::fprintf(out_, "%.*s: %.*s [answered No]\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  std::fflush(out_);
  return false;
}

std::unique_ptr<ProgressDialog> ConsoleDialogs::CreateProgressDialog() {
  return std::make_unique<HeadlessProgressDialog>(ui_);
}

}  // namespace vorn
