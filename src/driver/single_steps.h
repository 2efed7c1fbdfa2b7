// The pipeline's steps one at a time, on the fixed intermediate names in a
// folder: what the window's step buttons run. Each step writes its own log
// lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kws {

struct SingleStep {
  const char* name;     // the button's object name
  const char* caption;  // the command it stands for, as the button shows it
  // Runs the step on the intermediates in folder (convbmp reads picture);
  // returns its result code.
  int32_t (*run)(const std::string& picture, const std::string& folder);
};

// In chain order; the partition and USB steps make the kestro400's images.
const std::array<SingleStep, 7>& SingleSteps();

}  // namespace kws
