// Keeps two runs on the same working folders (two windows, or a window and a
// command line) apart: they would overwrite each other's files in Temp and
// land images of one picture under the other's name. The lock is taken on the
// Temp folder itself, so it does not depend on who owns a lock file, and it
// lives as long as the object, released on every path.
#pragma once

#include <string>

namespace kws {

class RunLock {
 public:
  // Takes the lock on folder. Throws a FileError when another run holds it
  // ("The working folders are in use by another run: ...") and when it cannot
  // be taken for any other reason ("The working folders cannot be locked:
  // ...: <reason>"); a run never goes on unlocked.
  explicit RunLock(const std::string& folder);
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace kws
