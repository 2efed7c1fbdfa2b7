#include "cli/cli.h"

#include <ostream>

#include "cli/help.h"
#include "cli/invocation.h"
#include "cli/terminal.h"
#include "driver/startup.h"

namespace kws {

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    cli::Invocation inv = cli::Parse(args, out, err);
    if (inv.Has("--help")) {
      out << (inv.command ? cli::CommandHelp(*inv.command) : cli::GeneralHelp());
      return 0;
    }
    if (inv.Has("--version")) {
      out << cli::kProgram << " " << FileVersion() << '\n';
      if (inv.Has("--verbose")) out << MakeCaption(FileVersion()) << '\n';
      return 0;
    }
    return inv.command->run(inv);
  } catch (const cli::UsageError& e) {
    err << cli::kProgram << ": " << cli::Escaped(e.what()) << "\nTry '" << cli::kProgram << " --help'.\n";
    return 2;
  } catch (const std::exception& e) {
    err << cli::kProgram << ": " << cli::Escaped(e.what()) << '\n';
    return 1;
  }
}

}  // namespace kws
