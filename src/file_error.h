// The failure the file layer and the byte formats both throw, with the
// platform's own texts. Those texts end up verbatim behind "Msg=" in the
// activity log, so they must read exactly as below. It sits beside the
// folders, not in one, because the lowest two both throw it: the file layer
// when a file fails, the formats when bytes run out or deflate fails. It
// uses the C++ library only.
#pragma once

#include <stdexcept>
#include <string>

namespace kws {

// A failure of the file layer (or a range check). logged() is the platform's
// text alone ("Cannot open file X", "Stream write error"), which the activity
// log records exactly; reason() is the system's why ("Permission denied"), for
// the user's eyes beside it; what() is the two joined by ": ".
class FileError : public std::runtime_error {
 public:
  explicit FileError(const std::string& logged) : std::runtime_error(logged), logged_(logged) {}
  FileError(const std::string& logged, const std::string& reason)
      : std::runtime_error(reason.empty() ? logged : logged + ": " + reason), logged_(logged), reason_(reason) {}

  const std::string& logged() const { return logged_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string logged_;
  std::string reason_;
};

inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kStreamWriteError = "Stream write error";
inline constexpr const char* kRangeCheckError = "Range check error";

[[noreturn]] inline void ThrowRangeCheck() { throw FileError(kRangeCheckError); }

}  // namespace kws
