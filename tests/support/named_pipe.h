// A named pipe for tests of code that must refuse one at once. A reader that
// opens it and waits would hang the test; instead, once the patience is
// used up, the pipe is opened for writing and closed again, which lets any
// such reader go on (it sees an empty file), and the hang is reported by
// ReleasedAHungReader().
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace kws::test {

class NamedPipe {
 public:
  explicit NamedPipe(std::string path, std::chrono::seconds patience = std::chrono::seconds(10))
      : path_(std::move(path)),
        made_(::mkfifo(path_.c_str(), 0600) == 0),
        watch_([this, patience] { Watch(patience); }) {}

  ~NamedPipe() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    watch_.join();
    ::unlink(path_.c_str());
  }

  NamedPipe(const NamedPipe&) = delete;
  NamedPipe& operator=(const NamedPipe&) = delete;

  const std::string& path() const { return path_; }
  bool made() const { return made_; }

  // Whether a reader was still waiting on the pipe when the patience ran out.
  bool ReleasedAHungReader() {
    std::lock_guard lock(mutex_);
    return released_;
  }

 private:
  void Watch(std::chrono::seconds patience) {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, patience, [this] { return done_; })) return;
    // Opening for writing without waiting succeeds only while a reader has
    // the pipe open; the reader then reads to an end.
    while (!done_) {
      const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) {
        released_ = true;
        ::close(fd);
      }
      wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; });
    }
  }

  std::string path_;
  bool made_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool released_ = false;
  std::thread watch_;
};

}  // namespace kws::test
