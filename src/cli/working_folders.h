// Start-up for the commands that use the working folders.
#pragma once

#include "cli/invocation.h"
#include "driver/startup.h"

namespace kws::cli {

// Start-up for the commands that use the working folders. A log that cannot
// be written is said once, not hinted at with "see the log".
class WorkingFolderSession {
 public:
  explicit WorkingFolderSession(Invocation& inv);
  ~WorkingFolderSession();
  WorkingFolderSession(const WorkingFolderSession&) = delete;
  WorkingFolderSession& operator=(const WorkingFolderSession&) = delete;

  // Empty when start-up went well; else the error, said on stderr.
  bool Failed() const;
  const StartupResult& start() const { return start_; }
  bool log_lost() const { return log_lost_; }

 private:
  Invocation& inv_;
  StartupResult start_;
  bool log_lost_ = false;
};

}  // namespace kws::cli
