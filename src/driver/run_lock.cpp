#include "driver/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "fileio/file.h"

namespace kws {

RunLock::RunLock(const std::string& folder) {
  const auto refuse = [&](int error) {
    return FileError("The working folders cannot be locked: " + PrintableName(folder) + ReasonSuffix(error));
  };
  // Opened read-only: every user who may run in the folder can lock it, and
  // nothing is created that another user could own.
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) throw refuse(errno);
  int result;
  do {
    result = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return;
  const int error = errno;
  ::close(fd_);
  fd_ = -1;
  if (error == EWOULDBLOCK) {
    throw FileError("The working folders are in use by another run: " + PrintableName(folder));
  }
  throw refuse(error);
}

RunLock::~RunLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace kws
