#include "driver/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "fileio/file.h"

namespace kws {

RunLock::RunLock(const std::string& folder) {
  fd_ = ::open((folder + "/" + kFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) return;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
  const bool held_elsewhere = errno == EWOULDBLOCK;
  ::close(fd_);
  fd_ = -1;
  if (held_elsewhere) throw FileError("The working folders are in use by another run: " + folder);
}

RunLock::~RunLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace kws
