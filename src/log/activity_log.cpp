#include "log/activity_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <utility>

#include "fileio/file.h"

namespace kws {

namespace {

std::string g_log_path;
LogListener g_listener;
LogFailureHandler g_failure_handler;
bool g_failure_told = false;

// A lock held by another writer for a moment (another run appending its own
// entry) is waited for this long before the entry is given up.
constexpr auto kLockPatience = std::chrono::milliseconds(200);
constexpr auto kLockRetry = std::chrono::milliseconds(5);

// Why the entry could not be written, for the failure handler.
class Failure {
 public:
  bool operator()(std::string why) {
    why_ = std::move(why);
    return false;
  }
  bool Errno(const char* what) { return (*this)(std::string(what) + ": " + std::strerror(errno)); }
  const std::string& why() const { return why_; }

 private:
  std::string why_;
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
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string stamp = text;
  if (with_millis) {
    std::snprintf(text, sizeof text, ".%03d", static_cast<int>(millis));
    stamp += text;
  }
  return stamp;
}

// Creates the file with its creation line when it is not there yet. O_EXCL
// never follows a link planted at the name.
bool CreateIfMissing(const std::string& path, Failure& failure) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd.ok()) return errno == EEXIST || failure.Errno("cannot be created");
  return WriteAll(fd.get(), "Logfile created: " + LogCreationStamp() + "\r\n\r\n") ||
         failure.Errno("cannot be written");
}

bool LockExclusively(int fd) {
  const auto give_up = std::chrono::steady_clock::now() + kLockPatience;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(kLockRetry);
  }
}

bool AppendEntry(const std::string& path, const std::string& entry, Failure& failure) {
  // Never through a link, and never a pipe or device that could block.
  Fd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.ok()) return failure.Errno("cannot be opened");
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return failure("is not a regular file");
  // The log is not shared: while another process keeps it, the entry is lost.
  if (!LockExclusively(fd.get())) return failure("is locked by another program");
  if (::lseek(fd.get(), 0, SEEK_END) < 0) return failure.Errno("cannot be written");
  return WriteAll(fd.get(), entry) || failure.Errno("cannot be written");
}

void TellFailureOnce(const Failure& failure) {
  if (g_failure_told || !g_failure_handler) return;
  g_failure_told = true;
  g_failure_handler("The activity log " + g_log_path + " " + failure.why() + "; its entries are lost");
}

}  // namespace

void SetLogFilePath(std::string path) {
  g_log_path = std::move(path);
  g_failure_told = false;
}
std::string LogFilePath() { return g_log_path; }
void SetLogListener(LogListener listener) { g_listener = std::move(listener); }

ScopedLogListener::ScopedLogListener(LogListener listener) : previous_(std::move(g_listener)) {
  g_listener = std::move(listener);
}

ScopedLogListener::~ScopedLogListener() { g_listener = std::move(previous_); }
void SetLogFailureHandler(LogFailureHandler handler) { g_failure_handler = std::move(handler); }

std::string LogTimestamp() { return FormatLocal(true); }
std::string LogCreationStamp() { return FormatLocal(false); }

bool WriteLog(std::string_view message, std::string_view note) noexcept {
  try {
    message = message.substr(0, kMaxLogMessage);
    if (g_listener) g_listener(message, note);
    if (g_log_path.empty()) return false;
    Failure failure;
    bool written = CreateIfMissing(g_log_path, failure);
    if (written) {
      // Read after the creation line's time: the two are separate readings.
      std::string entry = LogTimestamp();
      entry += " => ";
      entry += message;
      entry += "\r\n";
      written = AppendEntry(g_log_path, entry, failure);
    }
    if (!written) TellFailureOnce(failure);
    return written;
  } catch (...) {
    return false;
  }
}

bool LogFailure(std::string_view prefix, const std::exception& failure) noexcept {
  try {
    return WriteLog(std::string(prefix) + LoggedText(failure), ReasonOf(failure));
  } catch (...) {
    return false;
  }
}

}  // namespace kws
