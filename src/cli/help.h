// --help, for the program and for each command; the manual pages are made from it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cli/invocation.h"

namespace kws::cli {

// One line of a help table: left, then text from the given column on (on a
// line of its own when left reaches that far).
std::string HelpRow(const std::string& left, size_t column, std::string_view text);

std::string OptionLine(const OptionSpec& o);
std::string GeneralHelp();
std::string CommandHelp(const CommandSpec& c);

}  // namespace kws::cli
