#include "log/activity_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

namespace kws {

namespace {

std::string g_log_path;
LogListener g_listener;

// An fd that is closed on every way out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& bytes) {
  // One write call: the entry reaches the file whole or the call fails.
  const ssize_t n = ::write(fd, bytes.data(), bytes.size());
  return n == static_cast<ssize_t>(bytes.size());
}

std::string FormatLocal(bool with_millis) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  ::localtime_r(&secs, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string stamp = text;
  if (with_millis) {
    std::snprintf(text, sizeof text, ".%03d", static_cast<int>(millis));
    stamp += text;
  }
  return stamp;
}

// Creates the file with its creation line when it is not there yet.
bool CreateIfMissing(const std::string& path) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (!fd.ok()) return errno == EEXIST;
  return WriteAll(fd.get(), "Logfile created: " + LogCreationStamp() + "\r\n\r\n");
}

bool AppendEntry(const std::string& path, const std::string& entry) {
  Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  if (!fd.ok()) return false;
  // The log is not shared: while another process holds it, the entry is lost.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
  if (::lseek(fd.get(), 0, SEEK_END) < 0) return false;
  return WriteAll(fd.get(), entry);
}

}  // namespace

void SetLogFilePath(std::string path) { g_log_path = std::move(path); }
std::string LogFilePath() { return g_log_path; }
void SetLogListener(LogListener listener) { g_listener = std::move(listener); }

std::string LogTimestamp() { return FormatLocal(true); }
std::string LogCreationStamp() { return FormatLocal(false); }

bool WriteLog(std::string_view message) noexcept {
  try {
    message = message.substr(0, kMaxLogMessage);
    if (g_listener) g_listener(message);
    if (g_log_path.empty()) return false;
    if (!CreateIfMissing(g_log_path)) return false;
    std::string entry = LogTimestamp();
    entry += " => ";
    entry += message;
    entry += "\r\n";
    return AppendEntry(g_log_path, entry);
  } catch (...) {
    return false;
  }
}

}  // namespace kws
