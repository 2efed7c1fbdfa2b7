#include "cli/stop_signals.h"

#include <csignal>

namespace kws::cli {

namespace {

// The signal that asked a run to stop, or 0. A run ends its current picture
// cleanly and stops before the next one; a second signal ends the program
// at once (the handler is reset after the first), and the next run removes
// what that left behind.
volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void RememberStopSignal(int signal_number) { g_stop_signal = signal_number; }

std::string SignalName(int signal_number) {
  return signal_number == SIGINT ? "SIGINT" : signal_number == SIGTERM ? "SIGTERM" : std::to_string(signal_number);
}

}  // namespace

StopSignals::StopSignals() {
  g_stop_signal = 0;
  struct sigaction stop {};
  stop.sa_handler = RememberStopSignal;
  stop.sa_flags = SA_RESETHAND | SA_RESTART;
  sigemptyset(&stop.sa_mask);
  ::sigaction(SIGINT, &stop, &saved_int_);
  ::sigaction(SIGTERM, &stop, &saved_term_);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &saved_pipe_);
}

StopSignals::~StopSignals() {
  ::sigaction(SIGINT, &saved_int_, nullptr);
  ::sigaction(SIGTERM, &saved_term_, nullptr);
  ::sigaction(SIGPIPE, &saved_pipe_, nullptr);
}

int StopSignals::Received() { return g_stop_signal; }

std::string StopSignals::Reason() { return "stopped by signal " + SignalName(g_stop_signal); }

}  // namespace kws::cli
