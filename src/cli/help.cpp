#include "cli/help.h"

#include "cli/commands.h"

namespace kws::cli {

// Built by appending: GCC 12 at -O3 misreads chains of + on short strings
// as overlapping copies (-Wrestrict).
std::string HelpRow(const std::string& left, size_t column, std::string_view text) {
  std::string row = left;
  if (left.size() < column) {
    row.append(column - left.size(), ' ');
  } else {
    row.append("\n").append(column, ' ');
  }
  return row.append(text).append("\n");
}

std::string OptionLine(const OptionSpec& o) {
  std::string left = "  ";
  if (o.short_name) {
    left.append("-").append(1, o.short_name).append(", ");
  } else {
    left.append("    ");
  }
  left.append(o.name);
  if (!o.value.empty()) left.append(" ").append(o.value);
  return HelpRow(left, 26, o.help);
}

std::string GeneralHelp() {
  std::string text = std::string("Usage: ") + kProgram + " [OPTION...] COMMAND [ARG...]\n\n" +
                     "Turns 720 x 576, 8-bit bitmaps into the receivers' USB and serial update images,\n"
                     "and any picture into such a bitmap.\n\nCommands:\n";
  for (const CommandSpec& c : Commands()) {
    text += HelpRow("  " + CommandLine(c), 26, c.summary);
  }
  text += "\nOptions (before or after the command; -- ends them):\n";
  for (const OptionSpec& o : kGlobalOptions) text += OptionLine(o);
  text += std::string("\nWorking folders Input, Temp, Output and Log lie beside the program when it runs from\n") +
          "its build or a folder of its own; an installed program keeps them in 'Kestro Welcome'\n" +
          "in your documents folder. --home DIR puts them under DIR.\n\n" +
          "A file named as an output (import, preview, sample, inspect --extract) is replaced only\n" +
          "when the same command wrote it there and it is unchanged since, or with --force, and\n" +
          "that is said on stderr; the command's own input never. A device is written into.\n\n" +
          "Exit status: 0 success, 1 a picture or step failed or an image is not sound,\n" +
          "2 usage error, 128+N stopped by signal N.\n" + "'" + kProgram +
          " COMMAND --help' tells more of each command.\n";
  return text;
}

std::string CommandHelp(const CommandSpec& c) {
  std::string text = std::string("Usage: ") + kProgram + " " + CommandLine(c) + "\n\n" + std::string(c.summary) + "\n";
  if (!c.options.empty()) {
    text += "\nOptions:\n";
    for (const OptionSpec& o : c.options) text += OptionLine(o);
  }
  if (c.more_help) text += c.more_help();
  text += "\nOptions for every command: --home DIR, -v/--verbose, -q/--quiet, --json, -h/--help.\n";
  text += "\nExample:\n  " + std::string(c.example) + "\n";
  return text;
}

}  // namespace kws::cli
