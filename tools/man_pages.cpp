// Writes the manual pages made from the command line's command table:
//   kestro-welcome-man-pages DIR
// DIR/kestro-welcome-cli-COMMAND.1 for each command, and
// DIR/kestro-welcome-cli.h2m with what help2man adds to the program's own
// page (the receivers, the command pages).
#include "cli/man_pages.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "cli/commands.h"
#include "driver/startup.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (out) return true;
  std::fprintf(stderr, "kestro-welcome-man-pages: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestro-welcome-man-pages DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::string version = kws::FileVersion();
  for (const kws::cli::CommandSpec& c : kws::cli::Commands()) {
    if (!Write(dir + "/" + kws::cli::CommandPageName(c) + ".1", kws::cli::CommandManPage(c, version))) return 1;
  }
  return Write(dir + "/" + kws::cli::kProgram + ".h2m", kws::cli::ProgramPageInclude()) ? 0 : 1;
}
