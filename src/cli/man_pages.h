// The manual pages, made from the command table: one page a command with its
// options and JSON keys, and for the program's own page (help2man makes it
// from --help) the receivers and the list of the command pages.
#pragma once

#include <string>

#include "cli/invocation.h"

namespace kws::cli {

// "kestro-welcome-cli-import": the page's name.
std::string CommandPageName(const CommandSpec& c);

// The command's page, in roff, for this version of the program.
std::string CommandManPage(const CommandSpec& c, const std::string& version);

// What help2man adds to the program's own page: the receivers, each with its
// image names and serial model name, from the table of receiver models; and
// the commands' pages.
std::string ProgramPageInclude();

}  // namespace kws::cli
