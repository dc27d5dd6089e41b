#include "console_ports.h"

#include <string>

#include "platform/headless_progress.h"
#include "platform/text.h"

namespace vorn {

void StreamMessageWindow::Append(std::string_view text, MessageClass) {
  const std::string shown = SanitizeText(text);
  std::lock_guard lock(mutex_);
  std::string out;
  out.reserve(shown.size() + 1);
  for (char c : shown) {
    if (pending_cr_ && c != '\n') out += '\r';
    pending_cr_ = c == '\r';
    if (!pending_cr_) out += c;
  }
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

std::string PrefixLines(std::string_view prefix, std::string_view text) {
  std::string out(prefix);
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '\n' && i + 1 < text.size()) out += prefix;
  }
  return out;
}

void ConsoleDialogs::ShowMessage(std::string_view caption, std::string_view text) {
  const std::string shown = SanitizeText(text);
  std::fprintf(out_, "%.*s: %s\n", static_cast<int>(caption.size()), caption.data(), shown.c_str());
  std::fflush(out_);
}

bool ConsoleDialogs::AskYesNo(std::string_view caption, std::string_view text) {
  const std::string shown = SanitizeText(text);
  std::fprintf(out_, "%.*s: %s [answered No]\n", static_cast<int>(caption.size()), caption.data(), shown.c_str());
  std::fflush(out_);
  return false;
}

std::unique_ptr<ProgressDialog> ConsoleDialogs::CreateProgressDialog() {
  return std::make_unique<HeadlessProgressDialog>(ui_);
}

}  // namespace vorn
