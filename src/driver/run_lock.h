// Keeps two runs on the same working folders (two windows, or a window and a
// command line) apart: they would overwrite each other's files in Temp. The
// lock lives as long as the object and is released on every path.
#pragma once

#include <string>

namespace kws {

class RunLock {
 public:
  // Takes the lock of the folder's lock file. Throws a FileError when another
  // run holds it. A lock file that cannot be made (the folder is missing)
  // leaves the run unlocked; the run then fails on the folder by itself.
  explicit RunLock(const std::string& folder);
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  static constexpr const char* kFileName = ".run.lock";

 private:
  int fd_ = -1;
};

}  // namespace kws
