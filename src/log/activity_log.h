// The activity log: the tool's only record of what it did. One append-only
// text file; every line is "yyyy-mm-dd hh:nn:ss.zzz => message" + CR LF.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace kws {

// Only the first kMaxLogMessage bytes of a message are written.
inline constexpr size_t kMaxLogMessage = 8000;

// The file every entry goes to; set by start-up before the first entry.
void SetLogFilePath(std::string path);
std::string LogFilePath();

// Appends one entry. Never throws: a line that cannot be written (missing
// folder, file locked by another process for longer than a moment, disk
// full, a link or anything but a regular file at the path) is lost and the
// result is false. A note (the system's reason for a failure) goes to the
// listener only: the log keeps its lines exactly as they are fixed.
bool WriteLog(std::string_view message, std::string_view note = {}) noexcept;

// Logs prefix + the failure's text ("ERROR: dd(), Msg=" + "Cannot open file
// x"), with its reason ("Permission denied") as the entry's note.
bool LogFailure(std::string_view prefix, const std::exception& failure) noexcept;

// Optional listener that sees every message WriteLog is given, written or
// not, with its note (empty if none); the command line echoes the log with
// it, the window annotates its log panel. Empty to remove.
using LogListener = std::function<void(std::string_view message, std::string_view note)>;
void SetLogListener(LogListener listener);

// The listener for as long as this lives; the one before it is put back
// after, on every path out.
class ScopedLogListener {
 public:
  explicit ScopedLogListener(LogListener listener);
  ~ScopedLogListener();
  ScopedLogListener(const ScopedLogListener&) = delete;
  ScopedLogListener& operator=(const ScopedLogListener&) = delete;

 private:
  LogListener previous_;
};

// Optional handler told once why the log cannot be written (the first entry
// that is lost after the path was set), so that the user hears of it instead
// of being sent to a log with nothing in it. Empty to remove.
using LogFailureHandler = std::function<void(const std::string& why)>;
void SetLogFailureHandler(LogFailureHandler handler);

// The local time in the log's patterns.
std::string LogTimestamp();      // yyyy-mm-dd hh:nn:ss.zzz
std::string LogCreationStamp();  // yyyy-mm-dd hh:nn:ss

}  // namespace kws
