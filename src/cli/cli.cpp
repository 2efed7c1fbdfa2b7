#include "cli/cli.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <ostream>
#include <sstream>
#include <string_view>

#include "cli/help.h"
#include "cli/invocation.h"
#include "cli/json.h"
#include "cli/terminal.h"
#include "cli/working_folders.h"
#include "driver/startup.h"

namespace kws {

namespace {

// The command, in the working folders when its entry says it uses them.
int RunCommand(cli::Invocation& inv) {
  const cli::CommandSpec& command = *inv.command;
  if (!command.uses_working_folders) return command.run(inv);
  if (command.refuse_before_folders) {
    if (const int refused = command.refuse_before_folders(inv)) return refused;
  }
  const cli::WorkingFolderSession session(inv);
  if (session.Failed()) return 1;
  inv.start = &session.start();
  return command.run(inv);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const cli::CommandSpec** command) {
  try {
    cli::Invocation inv = cli::Parse(args, out, err);
    *command = inv.command;
    if (inv.Has(cli::option::kHelp)) {
      out << (inv.command ? cli::CommandHelp(*inv.command) : cli::GeneralHelp());
      return 0;
    }
    if (inv.Has(cli::option::kVersion)) {
      out << cli::kProgram << " " << FileVersion() << '\n';
      if (inv.Has(cli::option::kVerbose)) out << MakeCaption(FileVersion()) << '\n';
      return 0;
    }
    return RunCommand(inv);
  } catch (const cli::UsageError& e) {
    err << cli::kProgram << ": " << cli::Escaped(e.what()) << "\nTry '" << cli::kProgram << " --help'.\n";
    return 2;
  } catch (const std::exception& e) {
    err << cli::kProgram << ": " << cli::Escaped(e.what()) << '\n';
    return 1;
  }
}

// --json among the options, before any "--".
bool AsksForJson(const std::vector<std::string>& args) {
  const auto end = std::find(args.begin(), args.end(), "--");
  return std::find(args.begin(), end, "--json") != end;
}

QJsonArray Lines(const std::string& text) {
  QJsonArray lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.append(cli::JsonText(line));
  return lines;
}

// The document for a run that wrote none of its own: a command without a
// JSON report (sample, preview, step, --help), a usage error, or a failure
// before the report (a picture that is not there, working folders refused).
QJsonObject SaidAsJson(const cli::CommandSpec* command, int code, const std::string& out, const std::string& err) {
  const std::string prefix = std::string(cli::kProgram) + ": ";
  constexpr std::string_view kWarning = "warning: ";
  std::string error;
  QJsonArray warnings;
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) line.erase(0, prefix.size());
    if (line.rfind(kWarning, 0) == 0) {
      warnings.append(cli::JsonText(line.substr(kWarning.size())));
    } else if (code != 0 && error.empty()) {
      error = line;
    }
  }
  QJsonObject doc;
  doc["command"] = command ? QJsonValue(cli::JsonText(std::string(command->name))) : QJsonValue();
  doc["exit_code"] = code;
  doc["error"] = error.empty() ? QJsonValue() : QJsonValue(cli::JsonText(error));
  doc["said"] = Lines(out);
  doc["warnings"] = warnings;
  return doc;
}

}  // namespace

// With --json, stdout holds exactly one JSON document whatever happens: the
// commands that report in JSON write theirs, and for everything else the
// document gives the exit code, the error and what was said. Stderr still
// says it all in words.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const cli::CommandSpec* command = nullptr;
  if (!AsksForJson(args)) return Run(args, out, err, &command);
  std::ostringstream said, complained;
  const int code = Run(args, said, complained, &command);
  err << complained.str();
  if (command && command->reports_json && !said.str().empty()) {
    out << said.str();
  } else {
    cli::PrintJson(out, SaidAsJson(command, code, said.str(), complained.str()));
  }
  return code;
}

}  // namespace kws
