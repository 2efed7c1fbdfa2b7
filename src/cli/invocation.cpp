#include "cli/invocation.h"

#include <algorithm>

#include "cli/commands.h"
#include "fileio/name_text.h"

namespace kws::cli {

const std::vector<OptionSpec> kGlobalOptions = {
    {option::kHome, 0, "DIR", "keep the working folders Input, Temp, Output and Log under DIR"},
    {option::kVerbose, 'v', "", "print every activity-log entry as it is written, and details"},
    {option::kQuiet, 'q', "", "print errors only"},
    {option::kJson, 0, "", "print one JSON document with the results (make, run, inspect, import)"},
    {option::kHelp, 'h', "", "show this help, or a command's (COMMAND --help)"},
    {option::kVersion, 0, "", "show the version"},
};

const std::vector<JsonKeySpec> kSaidJsonKeys = {
    {"command", "the command, or null when none was given"},  {"exit_code", "the exit status"},
    {"error", "the error that ended the command, or null"},   {"said", "the lines it printed on stdout"},
    {"warnings", "its warnings, without the program's name"},
};

const std::vector<JsonKeySpec>& JsonKeys(const CommandSpec& c) { return c.reports_json ? c.json_keys : kSaidJsonKeys; }

std::string CommandLine(const CommandSpec& c) {
  std::string line(c.name);
  if (!c.arguments.empty()) line.append(" ").append(c.arguments);
  return line;
}

namespace {

const OptionSpec* FindOption(std::string_view name, const CommandSpec* command) {
  const auto find_in = [&](const std::vector<OptionSpec>& options) -> const OptionSpec* {
    for (const OptionSpec& o : options) {
      if (o.name == name || (name.size() == 2 && name[0] == '-' && o.short_name == name[1])) return &o;
    }
    return nullptr;
  };
  if (const OptionSpec* o = find_in(kGlobalOptions)) return o;
  if (command) return find_in(command->options);
  // Before the command: any command's option, checked once the command is known.
  for (const CommandSpec& c : Commands()) {
    if (const OptionSpec* o = find_in(c.options)) return o;
  }
  return nullptr;
}

bool BelongsTo(std::string_view name, const CommandSpec& command) {
  const auto in = [&](const std::vector<OptionSpec>& options) {
    return std::any_of(options.begin(), options.end(), [&](const OptionSpec& o) { return o.name == name; });
  };
  return in(kGlobalOptions) || in(command.options);
}

}  // namespace

bool Invocation::Has(std::string_view name) const { return Value(name) != nullptr; }

const std::string* Invocation::Value(std::string_view name) const {
  const bool declared = command ? BelongsTo(name, *command)
                                : std::any_of(kGlobalOptions.begin(), kGlobalOptions.end(),
                                              [&](const OptionSpec& o) { return o.name == name; });
  if (!declared) {
    throw std::logic_error("option " + std::string(name) + " is not declared for " +
                           (command ? std::string(command->name) : std::string("every command")));
  }
  const auto it = options.find(name);
  return it == options.end() ? nullptr : &it->second;
}

Invocation Parse(const Args& args, std::ostream& out, std::ostream& err) {
  Invocation inv(out, err);
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_ended || a.size() < 2 || a[0] != '-') {
      if (inv.command) {
        inv.args.push_back(a);
      } else if (!(inv.command = FindCommand(a))) {
        throw UsageError("unknown command \"" + TerminalName(a) + "\"");
      }
      continue;
    }
    if (a == "--") {
      options_ended = true;
      continue;
    }
    const size_t equals = a.find('=');
    const std::string name = a.substr(0, equals);
    const OptionSpec* option = FindOption(name, inv.command);
    if (!option) {
      throw UsageError("unknown option " + TerminalName(name) +
                       (inv.command ? " for " + std::string(inv.command->name) : std::string()));
    }
    std::string value;
    if (!option->value.empty()) {
      if (equals != std::string::npos) {
        value = a.substr(equals + 1);
      } else if (++i < args.size()) {
        value = args[i];
      } else {
        throw UsageError(std::string(option->name) + " needs " + std::string(option->value));
      }
      if (value.empty()) throw UsageError(std::string(option->name) + " needs " + std::string(option->value));
    } else if (equals != std::string::npos) {
      throw UsageError(std::string(option->name) + " takes no value");
    }
    if (!option->value.empty() && inv.options.count(option->name) > 0) {
      throw UsageError(std::string(option->name) + " is given twice");
    }
    inv.options[std::string(option->name)] = value;
  }
  if (inv.Has(option::kHelp) || inv.Has(option::kVersion)) return inv;
  if (!inv.command) throw UsageError("no command given");
  for (const auto& [name, value] : inv.options) {
    if (!BelongsTo(name, *inv.command))
      throw UsageError(name + " is not an option of " + std::string(inv.command->name));
  }
  if (inv.Has(option::kVerbose) && inv.Has(option::kQuiet))
    throw UsageError("--verbose and --quiet exclude each other");
  const CommandSpec& c = *inv.command;
  if (inv.args.size() < c.min_args || inv.args.size() > c.max_args) {
    throw UsageError("usage: " + std::string(kProgram) + " " + CommandLine(c));
  }
  if (c.check) c.check(inv);
  return inv;
}

}  // namespace kws::cli
