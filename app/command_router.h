#pragma once
// One way into every command: menus, keys, the tool bar and posted commands
// all go through Execute, which asks the command's update rule first and
// drops a command that the rule disables.
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "command_table.h"

namespace vorn {

struct CommandState {
  bool enabled = true;
  bool checked = false;
  // Replaces the menu text when set (the log command, the game items).
  std::optional<std::string> text;
};

class CommandRouter {
 public:
  using Update = std::function<CommandState()>;
  using Run = std::function<void()>;

  // A command without an update rule is always enabled.
  void Register(CommandId id, Run run, Update update = {});
  // Disabled for a command that nobody registered.
  CommandState Query(CommandId id) const;
  // True when the command ran.
  bool Execute(CommandId id);
  bool IsRegistered(CommandId id) const { return commands_.count(id) != 0; }

 private:
  struct Entry {
    Run run;
    Update update;
  };
  std::map<CommandId, Entry> commands_;
};

}  // namespace vorn
