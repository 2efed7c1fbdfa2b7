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

namespace kws {
struct StartupResult;
}

namespace kws::cli {

constexpr const char* kProgram = "kestro-welcome-cli";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Args = std::vector<std::string>;

enum class Verbosity { kQuiet, kNormal, kVerbose };

// The option names more than one file uses, each written once: the option
// tables declare them and the commands look them up by these. An option of
// one command only is named in that command's file.
namespace option {
inline constexpr std::string_view kHome = "--home";
inline constexpr std::string_view kVerbose = "--verbose";
inline constexpr std::string_view kQuiet = "--quiet";
inline constexpr std::string_view kJson = "--json";
inline constexpr std::string_view kHelp = "--help";
inline constexpr std::string_view kVersion = "--version";
inline constexpr std::string_view kForce = "--force";      // every command that writes a file the user names
inline constexpr std::string_view kDisplay = "--display";  // import and preview
}  // namespace option

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
  // Whether it works in the working folders (Input, Temp, Output, Log): the
  // command line opens them for it, in one place, before run; a command that
  // refuses what it was given first says so in refuse_before_folders, which
  // returns its exit status (0 to go on), so that a refusal changes nothing.
  bool uses_working_folders = false;
  std::function<int(Invocation&)> refuse_before_folders = {};
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
  // The working folders, opened for a command that uses them.
  const StartupResult* start = nullptr;

  // Whether the option was given, and its value. Looking up an option that
  // neither the command nor every command declares is a mistake in the
  // program, not the user's: it throws std::logic_error instead of quietly
  // answering no.
  bool Has(std::string_view name) const;
  const std::string* Value(std::string_view name) const;
  Verbosity verbosity() const {
    return Has(option::kVerbose) ? Verbosity::kVerbose : Has(option::kQuiet) ? Verbosity::kQuiet : Verbosity::kNormal;
  }
  bool json() const { return Has(option::kJson); }
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
