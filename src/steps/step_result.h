// Step result codes and the one way a step turns a failure into a log line.
//
// A step never throws to its caller: every failure ends as exactly one
// "ERROR: name(), Msg=<message>" line in the activity log and the code -99.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "log/activity_log.h"

namespace kws {

inline constexpr int32_t kStepOk = 0;
inline constexpr int32_t kStepTooBig = -1;   // wrong size, too big, name too long
inline constexpr int32_t kStepMissing = -2;  // input file does not exist
inline constexpr int32_t kStepFailed = -99;  // a caught failure, logged with its message

// Logs "ERROR: <step>(), file <name> do not exist!" and returns -2.
inline int32_t LogMissingInput(const char* step, const std::string& name) {
  WriteLog(std::string("ERROR: ") + step + "(), file " + name + " do not exist!");
  return kStepMissing;
}

// Runs a step's body; whatever it throws becomes the step's "Msg=" line and -99.
template <class Body>
int32_t RunStep(const char* step, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    WriteLog(std::string("ERROR: ") + step + "(), Msg=" + e.what());
  } catch (...) {
    WriteLog(std::string("ERROR: ") + step + "(), Msg=unknown error");
  }
  return kStepFailed;
}

}  // namespace kws
