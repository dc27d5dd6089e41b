#pragma once
#include <string_view>

namespace vorn {

// Modal questions and notices. Implementations: the Qt GUI, the headless
// node (which prints and answers "no"), and scripted test doubles.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A message box with one OK button.
  virtual void ShowMessage(std::string_view caption, std::string_view text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(std::string_view caption, std::string_view text) = 0;
  virtual void Beep() = 0;
};

}  // namespace vorn
