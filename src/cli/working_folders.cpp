#include "cli/working_folders.h"

#include <ostream>

#include "cli/terminal.h"
#include "log/activity_log.h"

namespace kws::cli {

WorkingFolderSession::WorkingFolderSession(Invocation& inv) : inv_(inv) {
  SetLogFailureHandler([this](const std::string& why) {
    inv_.err << kProgram << ": warning: " << Escaped(why) << '\n';
    log_lost_ = true;
  });
  if (inv.verbosity() == Verbosity::kVerbose && !inv.json()) {
    SetLogListener(
        [this](std::string_view message, std::string_view) { inv_.out << Escaped(std::string(message)) << '\n'; });
  }
  const std::string* home = inv.Value("--home");
  start_ = home ? StartUp(*home) : StartUpDefault();
  SetLogListener(nullptr);
}

WorkingFolderSession::~WorkingFolderSession() {
  SetLogListener(nullptr);
  SetLogFailureHandler(nullptr);
}

bool WorkingFolderSession::Failed() const {
  if (start_.error.empty()) return false;
  inv_.err << kProgram << ": " << Escaped(start_.Told()) << '\n';
  return true;
}

}  // namespace kws::cli
