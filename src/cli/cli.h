// The headless command line: the same start-up, runs and activity log as the
// window, for scripts and machines without a desktop.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kws {

// Runs one command line (args without the program name). Returns the exit
// status: 0 all went well, 1 a picture or step failed, 2 a usage error.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kws
