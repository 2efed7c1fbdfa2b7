#include "cli/working_folders.h"

#include <optional>
#include <ostream>

#include "cli/terminal.h"
#include "log/activity_log.h"

namespace kws::cli {

WorkingFolderSession::WorkingFolderSession(Invocation& inv) : inv_(inv) {
  SetLogFailureHandler([this](const std::string& why) {
    inv_.err << kProgram << ": warning: " << Escaped(why) << '\n';
    log_lost_ = true;
  });
  std::optional<ScopedLogListener> echo;
  if (inv.verbosity() == Verbosity::kVerbose && !inv.json()) {
    echo.emplace(
        [this](std::string_view message, std::string_view) { inv_.out << Escaped(std::string(message)) << '\n'; });
  }
  const std::string* home = inv.Value(option::kHome);
  start_ = home ? StartUp(*home) : StartUpDefault();
}

WorkingFolderSession::~WorkingFolderSession() { SetLogFailureHandler(nullptr); }

bool WorkingFolderSession::Failed() const {
  if (start_.error.empty()) return false;
  inv_.err << kProgram << ": " << Escaped(start_.Told()) << '\n';
  return true;
}

}  // namespace kws::cli
