// The command line as given: the command, its arguments and the options,
// and the entries of the command table that say what each command takes.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kws::cli {

constexpr const char* kProgram = "kestro-welcome-cli";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Args = std::vector<std::string>;

enum class Verbosity { kQuiet, kNormal, kVerbose };

struct OptionSpec {
  std::string_view name;   // "--background"
  char short_name;         // 'v', or 0
  std::string_view value;  // "COLOR", or empty for a flag
  std::string_view help;
};

// A key of a command's JSON document: "pictures[].outputs[].sha256" for a
// key of the objects in an array, "source.width" for one of an object's.
struct JsonKeySpec {
  std::string_view key;
  std::string_view meaning;
};

struct Invocation;

struct CommandSpec {
  std::string_view name;
  std::string_view arguments;  // for the usage line
  size_t min_args;
  size_t max_args;
  std::string_view summary;
  std::vector<OptionSpec> options;
  std::string_view example;
  // More help after the options (step: its steps and result codes), or none.
  std::function<std::string()> more_help;
  // Throws UsageError for arguments it cannot take, before anything is done.
  std::function<void(const Invocation&)> check;
  std::function<int(Invocation&)> run;
  // Writes its own JSON document with --json; for the others the command
  // line writes one that holds what they said.
  bool reports_json = false;
  // The keys of its own JSON document, for the manual pages.
  std::vector<JsonKeySpec> json_keys = {};
};

struct Invocation {
  Invocation(std::ostream& o, std::ostream& e) : out(o), err(e) {}
  const CommandSpec* command = nullptr;
  Args args;
  std::map<std::string, std::string, std::less<>> options;  // given, with their values ("" for a flag)
  std::ostream& out;
  std::ostream& err;

  bool Has(std::string_view name) const { return options.find(name) != options.end(); }
  const std::string* Value(std::string_view name) const {
    const auto it = options.find(name);
    return it == options.end() ? nullptr : &it->second;
  }
  Verbosity verbosity() const {
    return Has("--verbose") ? Verbosity::kVerbose : Has("--quiet") ? Verbosity::kQuiet : Verbosity::kNormal;
  }
  bool json() const { return Has("--json"); }
};

// The options every command takes.
extern const std::vector<OptionSpec> kGlobalOptions;

// The keys of the document the command line writes for a command without
// its own JSON report.
extern const std::vector<JsonKeySpec> kSaidJsonKeys;

// The keys of the command's JSON document: its own, or kSaidJsonKeys.
const std::vector<JsonKeySpec>& JsonKeys(const CommandSpec& c);

// "import PICTURE OUT.bmp": the command and its arguments as the usage line names them.
std::string CommandLine(const CommandSpec& c);

// Reads a command line; throws UsageError for one that cannot be run.
Invocation Parse(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace kws::cli
