#include "console_ports.h"

#include <string>

#include "platform/headless_progress.h"

namespace vorn {

void StreamMessageWindow::Append(std::string_view text, MessageClass) {
  std::lock_guard lock(mutex_);
  std::string out;
  out.reserve(text.size() + 1);
  for (char c : text) {
    if (pending_cr_ && c != '\n') out += '\r';
    pending_cr_ = c == '\r';
    if (!pending_cr_) out += c;
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
