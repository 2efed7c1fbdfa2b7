// The command table: one entry a command, each declared in the command's own
// file; the parser, --help and the manual pages are made from it.
#pragma once

#include <string_view>
#include <vector>

#include "cli/invocation.h"

namespace kws::cli {

const CommandSpec& MakeCommandSpec();
const CommandSpec& RunCommandSpec();
const CommandSpec& InspectCommandSpec();
const CommandSpec& ImportCommandSpec();
const CommandSpec& PreviewCommandSpec();
const CommandSpec& SampleCommandSpec();
const CommandSpec& StepCommandSpec();

// The commands in the order help lists them.
const std::vector<CommandSpec>& Commands();

// The command of that name, or null.
const CommandSpec* FindCommand(std::string_view name);

}  // namespace kws::cli
