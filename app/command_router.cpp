#include "command_router.h"

namespace vorn {

void CommandRouter::Register(CommandId id, Run run, Update update) {
  commands_[id] = Entry{std::move(run), std::move(update)};
}

CommandState CommandRouter::Query(CommandId id) const {
  auto it = commands_.find(id);
  if (it == commands_.end()) return CommandState{false, false, std::nullopt};
  return it->second.update ? it->second.update() : CommandState{};
}

bool CommandRouter::Execute(CommandId id) {
  if (!Query(id).enabled) return false;
  // A copy: the command may register commands again (the game items).
  Run run = commands_.at(id).run;
  if (run) run();
  return true;
}

}  // namespace vorn
