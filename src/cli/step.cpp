// step: one step of the chain on the named files; the steps come from one table.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/help.h"
#include "cli/terminal.h"
#include "cli/working_folders.h"
#include "fileio/file.h"
#include "fileio/name_text.h"
#include "format/receiver_models.h"
#include "log/activity_log.h"
#include "steps/gzip_f9.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws::cli {

namespace {

enum class StepArg { kFile, kSize, kModel };

struct StepSpec {
  std::string_view name;
  std::vector<std::pair<std::string_view, StepArg>> args;
  std::string help;
  std::function<int32_t(const Args&)> run;
  // What its own result codes stand for, beyond the ones every step shares.
  std::vector<std::pair<int32_t, std::string_view>> codes;
};

uint32_t ParseSize(const std::string& text) {
  try {
    size_t used = 0;
    const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    const unsigned long long value = std::stoull(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
    if (used == (hex ? text.size() - 2 : text.size()) && value <= 0xFFFFFFFFull && text[0] != '-') {
      return static_cast<uint32_t>(value);
    }
  } catch (const std::exception&) {
  }
  throw UsageError("appendbin SIZE must be a number from 0 to 0xFFFFFFFF, not \"" + text + "\"");
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// The partition sizes and serial model names the receivers use.
std::string PartitionSizes() {
  std::string sizes;
  for (const UsbModel& model : kUsbModels) {
    const std::string size = Hex(model.partition_size);
    if (sizes.find(size) == std::string::npos) sizes += (sizes.empty() ? "" : ", ") + size;
  }
  return sizes;
}
std::string SerialModels() {
  std::string names;
  for (const UsbModel& model : kUsbModels) names += (names.empty() ? "" : ", ") + std::string(model.serial_model);
  return names;
}

std::vector<StepSpec> FixedSteps() {
  using K = StepArg;
  return {
      {"convbmp",
       {{"BMP", K::kFile}, {"CT", K::kFile}, {"RAW", K::kFile}},
       "bitmap -> colour table and raw picture",
       [](const Args& a) { return convbmp(a[0], a[1], a[2]); },
       {{kConvbmpBitDepthTooHigh, "the bitmap has more than 8 bits per pixel"},
        {kConvbmpCompressed, "the bitmap is compressed"},
        {kConvbmpWrongSize, "the bitmap is not 720 x 576 pixels"}}},
      {"rawconv",
       {{"IN", K::kFile}, {"OUT", K::kFile}},
       "raw picture -> pixel rows, top row first",
       [](const Args& a) { return rawconv(a[0], a[1]); },
       {}},
      {"gzip_f9",
       {{"SRC", K::kFile}, {"DST", K::kFile}},
       "file -> one gzip member",
       [](const Args& a) { return gzip_f9(a[0], a[1]); },
       {{kGzipSourceNotOpened, "the source cannot be opened (missing, locked or unreadable)"},
        {kGzipDestinationNotCreated, "the destination cannot be created"},
        {kGzipReadFailed, "reading the source failed"},
        {kGzipShortWrite, "the destination took fewer bytes than it was given (disk full?)"},
        {kGzipCloseFailed, "finishing or closing the destination failed (disk full?)"}}},
      {"dd",
       {{"FIRST", K::kFile}, {"SECOND", K::kFile}, {"OUT", K::kFile}},
       "FIRST and SECOND joined -> OUT",
       [](const Args& a) { return dd(a[0], a[1], a[2]); },
       {}},
      {"addheader",
       {{"IN", K::kFile}, {"TMP", K::kFile}, {"OUT", K::kFile}},
       "joined data -> welcome image",
       [](const Args& a) { return addheader(a[0], a[1], a[2]); },
       {}},
      {"appendbin",
       {{"SIZE", K::kSize}, {"IN", K::kFile}, {"OUT", K::kFile}},
       "welcome image -> partition image of SIZE bytes, padded with 0xFF",
       [](const Args& a) { return appendbin(ParseSize(a[0]), a[1], a[2]); },
       {}},
      {"mkserialimg",
       {{"IN", K::kFile}, {"OUT", K::kFile}, {"MODEL", K::kModel}},
       "USB update image -> serial update image naming MODEL",
       [](const Args& a) { return mkserialimg(a[0], a[1], a[2]); },
       {{kStepTooBig, "the input is too big or has the wrong size, or the model name is too long"}}},
  };
}

// The steps with the USB steps of every receiver model, from the model table,
// in the order of the chain.
std::vector<StepSpec> MakeSteps() {
  std::vector<StepSpec> steps = FixedSteps();
  const auto usb_steps_at = steps.end() - 1;  // before mkserialimg
  std::vector<StepSpec> usb_steps;
  usb_steps.reserve(kUsbModels.size());
  for (const UsbModel& model : kUsbModels) {
    usb_steps.push_back({model.step,
                         {{"IN", StepArg::kFile}, {"OUT", StepArg::kFile}},
                         std::string("partition image -> USB update image for ") + model.receiver,
                         [&model](const Args& a) { return mkusbimg(model, a[0], a[1]); },
                         {}});
  }
  steps.insert(usb_steps_at, usb_steps.begin(), usb_steps.end());
  return steps;
}

const std::vector<StepSpec>& Steps() {
  static const std::vector<StepSpec> steps = MakeSteps();
  return steps;
}

// What every step's codes mean.
const std::vector<std::pair<int32_t, std::string_view>> kSharedStepCodes = {
    {kStepOk, "success"},
    {kStepTooBig, "the input is too big or has the wrong size"},
    {kStepMissing, "the input file does not exist"},
    {kStepFailed, "a failure was caught; the error line above says which"},
};

std::string StepUsage(const StepSpec& step) {
  std::string usage(step.name);
  for (const auto& [name, kind] : step.args) usage.append(" ").append(name);
  return usage;
}

const StepSpec& FindStep(const Args& args) {
  if (args.empty()) throw UsageError("step needs a step name; the steps are listed by 'step --help'");
  for (const StepSpec& step : Steps()) {
    if (args[0] != step.name) continue;
    if (args.size() - 1 != step.args.size())
      throw UsageError("usage: " + std::string(kProgram) + " step " + StepUsage(step));
    for (size_t i = 0; i < step.args.size(); ++i) {
      if (step.args[i].second == StepArg::kSize) ParseSize(args[i + 1]);
    }
    return step;
  }
  throw UsageError("unknown step \"" + TerminalName(args[0]) + "\"; the steps are listed by 'step --help'");
}

std::string CodeMeaning(const StepSpec& step, int32_t code) {
  for (const auto& [value, meaning] : step.codes) {
    if (value == code) return std::string(meaning);
  }
  for (const auto& [value, meaning] : kSharedStepCodes) {
    if (value == code) return std::string(meaning);
  }
  return "an unexpected result";
}

// The steps, their arguments and their result codes, after the options of step --help.
std::string StepsHelp() {
  std::string text = "\nSteps:\n";
  for (const StepSpec& step : Steps()) text += HelpRow("  " + StepUsage(step), 36, step.help);
  text += "\nSIZE is decimal or 0x hex; the receivers' partitions take " + PartitionSizes() + ".\n";
  text += "MODEL is up to 30 bytes; the receivers' serial model names are " + SerialModels() + ".\n";
  text += "\nResult codes of every step:\n";
  for (const auto& [code, meaning] : kSharedStepCodes)
    text += "  " + std::to_string(code) + "  " + std::string(meaning) + "\n";
  for (const StepSpec& step : Steps()) {
    for (const auto& [code, meaning] : step.codes) {
      text += "  " + std::to_string(code) + "  " + std::string(step.name) + ": " + std::string(meaning) + "\n";
    }
  }
  return text;
}

int StepCommand(Invocation& inv) {
  const StepSpec& step = FindStep(inv.args);
  // A step deletes and creates its outputs anew; a file it replaced keeps
  // its owner and permission bits, as every other writer's do.
  std::vector<std::pair<std::string, FileOwnership>> before;
  for (size_t i = 0; i < step.args.size(); ++i) {
    if (step.args[i].second != StepArg::kFile) continue;
    if (std::optional<FileOwnership> owner = OwnershipOf(inv.args[i + 1])) before.emplace_back(inv.args[i + 1], *owner);
  }
  std::vector<std::string> lines;
  int32_t code = kStepOk;
  {
    // The log's lines, each with the system's reason that the log leaves out.
    const ScopedLogListener listener([&](std::string_view message, std::string_view note) {
      lines.emplace_back(message);
      if (!note.empty()) lines.back().append(": ").append(note);
    });
    code = step.run(Args(inv.args.begin() + 1, inv.args.end()));
  }
  for (const auto& [name, owner] : before) KeepOwnership(name, owner);
  const std::string result = std::string(step.name) + ": Ret=" + std::to_string(code);
  if (code == kStepOk) {
    if (inv.verbosity() != Verbosity::kQuiet) inv.out << result << '\n';
    return 0;
  }
  for (const std::string& line : lines) inv.err << Escaped(line) << '\n';
  inv.err << result << ": " << CodeMeaning(step, code) << '\n';
  return 1;
}

}  // namespace

const CommandSpec& StepCommandSpec() {
  static const CommandSpec entry = {.name = "step",
                                    .arguments = "NAME ARG...",
                                    .min_args = 1,
                                    .max_args = SIZE_MAX,
                                    .summary = "run one step of the chain on the named files (see step --help)",
                                    .options = {},
                                    .example = "kestro-welcome-cli step gzip_f9 welcome.qv.raw2 welcome.qv.raw2.gz",
                                    .more_help = StepsHelp,
                                    .check = [](const Invocation& inv) { FindStep(inv.args); },
                                    .uses_working_folders = true,
                                    .run = StepCommand};
  return entry;
}

}  // namespace kws::cli
