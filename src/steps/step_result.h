// Step result codes and the one way a step turns a failure into a log line.
//
// A step never throws to its caller: every failure ends as exactly one
// "ERROR: name(), Msg=<message>" line in the activity log and the code -99.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "fileio/file.h"
#include "log/activity_log.h"
#include "steps/step_failure.h"

namespace kws {

inline constexpr int32_t kStepOk = 0;
inline constexpr int32_t kStepTooBig = -1;   // wrong size, too big, name too long
inline constexpr int32_t kStepMissing = -2;  // input file does not exist
inline constexpr int32_t kStepFailed = -99;  // a caught failure, logged with its message

// Logs "ERROR: <step>(), file <name> do not exist!" and returns -2.
inline int32_t LogMissingInput(const char* step, const std::string& name) {
  LogStepFailure({.operation = step,
                  .code = kStepMissing,
                  .cause = FailureCause::kMissingInput,
                  .text = PrintableName(name),
                  .line = std::string("ERROR: ") + step + "(), file " + PrintableName(name) + " do not exist!"});
  return kStepMissing;
}

// Logs a step's own refusal, its line exactly as the step words it
// ("ERROR: appendbin(), input is too big!"), and returns code.
inline int32_t LogRefusal(const char* step, int32_t code, FailureCause cause, const std::string& line,
                          uint64_t size = 0) {
  constexpr std::string_view kError = "ERROR: ";
  const std::string text = line.rfind(kError, 0) == 0 ? line.substr(kError.size()) : line;
  LogStepFailure({.operation = step, .code = code, .cause = cause, .text = text, .size = size, .line = line});
  return code;
}

// Refuses a call whose output is the same file as one of its inputs or as
// another output: the step would delete or truncate what it is about to read,
// or write one result over the other. Logs "ERROR: <step>(), Msg=..." and
// returns -99 before anything is touched; 0 when every output is a file of
// its own.
inline int32_t RefuseSharedFiles(const char* step, std::initializer_list<const std::string*> inputs,
                                 std::initializer_list<const std::string*> outputs) {
  std::string why;
  for (auto out = outputs.begin(); out != outputs.end() && why.empty(); ++out) {
    for (const std::string* in : inputs) {
      if (SameFile(**out, *in)) {
        why = "output " + PrintableName(**out) + " is the same file as input " + PrintableName(*in);
        break;
      }
    }
    for (auto other = outputs.begin(); other != out && why.empty(); ++other) {
      if (SameFile(**out, **other)) {
        why = "outputs " + PrintableName(**other) + " and " + PrintableName(**out) + " are the same file";
      }
    }
  }
  if (why.empty()) return kStepOk;
  why += "; nothing was changed";
  LogStepFailure({.operation = step,
                  .code = kStepFailed,
                  .cause = FailureCause::kSharedFiles,
                  .text = why,
                  .line = std::string("ERROR: ") + step + "(), Msg=" + why});
  return kStepFailed;
}

// What a step knows of its failure beyond the exception: convbmp adds the
// header it read.
using DescribeFailure = std::function<void(StepFailure&)>;

// The record of a failure a step caught: "ERROR: <step>(), Msg=<text>".
inline StepFailure CaughtFailure(const char* step, const std::string& text, const std::string& reason = {}) {
  return {.operation = step,
          .code = kStepFailed,
          .cause = FailureCause::kCaught,
          .text = text,
          .reason = reason,
          .line = std::string("ERROR: ") + step + "(), Msg=" + text};
}

// Runs a step's body; whatever it throws becomes the step's "Msg=" line and -99.
template <class Body>
int32_t RunStep(const char* step, Body&& body, const DescribeFailure& describe = {}) noexcept {
  StepFailure failure;
  try {
    return body();
  } catch (const std::exception& e) {
    try {
      failure = CaughtFailure(step, LoggedText(e), ReasonOf(e));
    } catch (...) {
    }
  } catch (...) {
    failure = CaughtFailure(step, "unknown error");
  }
  try {
    if (describe) describe(failure);
  } catch (...) {
  }
  LogStepFailure(std::move(failure));
  return kStepFailed;
}

}  // namespace kws
