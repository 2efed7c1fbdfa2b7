#include "steps/step_failure.h"

#include <utility>

#include "log/activity_log.h"

namespace kws {

namespace {

thread_local FailureRecord* t_innermost = nullptr;

}  // namespace

FailureRecord::FailureRecord() : outer_(t_innermost) { t_innermost = this; }

FailureRecord::~FailureRecord() { t_innermost = outer_; }

void FailureRecord::Keep(StepFailure failure) {
  if (!first_) first_ = std::move(failure);
}

void LogStepFailure(StepFailure failure) noexcept {
  try {
    WriteLog(failure.line, failure.reason);
    if (t_innermost) t_innermost->Keep(std::move(failure));
  } catch (...) {
  }
}

}  // namespace kws
