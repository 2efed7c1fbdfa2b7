// Signals while a run lasts.
#pragma once

#include <signal.h>

#include <string>

namespace kws::cli {

// While a run lasts: SIGINT and SIGTERM are remembered instead of killing the
// process half-way through writing an image, and a reader that goes away
// (run | head -1) makes writes to stdout fail instead of killing it.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The signal that asked the run to stop, or 0.
  static int Received();
  static std::string Reason();

 private:
  struct sigaction saved_int_ {};
  struct sigaction saved_term_ {};
  struct sigaction saved_pipe_ {};
};

}  // namespace kws::cli
