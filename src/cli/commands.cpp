#include "cli/commands.h"

namespace kws::cli {

const std::vector<CommandSpec>& Commands() {
  static const std::vector<CommandSpec> commands = {
      MakeCommandSpec(),    RunCommandSpec(),    InspectCommandSpec(), ImportCommandSpec(),
      PreviewCommandSpec(), SampleCommandSpec(), StepCommandSpec(),
  };
  return commands;
}

const CommandSpec* FindCommand(std::string_view name) {
  for (const CommandSpec& c : Commands()) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

}  // namespace kws::cli
