#include "picture/svg_drawing.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <new>
#include <thread>

#include "fit/svg_cost.h"
#include "format/number_text.h"
#include "picture/address_space.h"

namespace kws {

namespace {

// Raised by CancelSvgDrawings; a drawing started before it ends.
std::atomic<uint64_t> g_cancelled{0};

// What the child hands back, in memory shared with the parent: this
// header, the pixels after it.
struct Handed {
  int32_t read = 0;
  int32_t width = 0, height = 0, format = 0;
  int64_t bytes_per_line = 0;
  char warnings[2048] = {};  // one after another, each ended by a NUL
};

// An anonymous shared mapping, unmapped when it goes.
class SharedMemory {
 public:
  explicit SharedMemory(size_t bytes) : bytes_(bytes) {
    void* at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    at_ = at == MAP_FAILED ? nullptr : at;
  }
  ~SharedMemory() {
    if (at_) ::munmap(at_, bytes_);
  }
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;
  void* at() const { return at_; }
  size_t bytes() const { return bytes_; }

 private:
  size_t bytes_;
  void* at_ = nullptr;
};

// In the child: the limits, the drawing, the result into shared memory.
// Leaves by _exit, so that nothing of the parent's is flushed or destroyed
// twice. (AddressSanitizer reserves far more address space than it uses, so
// there only the CPU limit holds.)
[[noreturn]] void DrawInChild(QImageReader& reader, QImage& image, SharedMemory& shared,
                              const std::function<std::vector<std::string>()>& warnings, const DrawingLimits& limits) {
  const rlimit cpu{rlim_t(limits.cpu_seconds), rlim_t(limits.cpu_seconds) + 1};
  ::setrlimit(RLIMIT_CPU, &cpu);
  if (!kAddressSanitizer) {
    const uint64_t limit = AddressSpaceBytes() + limits.bytes;
    const rlimit memory{limit, limit};
    ::setrlimit(RLIMIT_AS, &memory);
  }
  auto* handed = static_cast<Handed*>(shared.at());
  const bool read = reader.read(&image);
  size_t at = 0;
  for (const std::string& warning : warnings()) {
    if (at + warning.size() + 1 >= sizeof handed->warnings) break;
    std::memcpy(handed->warnings + at, warning.c_str(), warning.size() + 1);
    at += warning.size() + 1;
  }
  const auto bytes = static_cast<size_t>(image.sizeInBytes());
  if (read && !image.isNull() && sizeof(Handed) + bytes <= shared.bytes()) {
    handed->width = image.width();
    handed->height = image.height();
    handed->format = static_cast<int32_t>(image.format());
    handed->bytes_per_line = image.bytesPerLine();
    std::memcpy(static_cast<char*>(shared.at()) + sizeof(Handed), image.constBits(), bytes);
    handed->read = 1;
  }
  ::_exit(0);
}

// Why a child that did not end well ended.
std::string ChildFailure(int status, bool timed_out, const DrawingLimits& limits) {
  if (timed_out) return TooComplexText("more than " + std::to_string(limits.seconds) + " seconds of drawing");
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
    return TooComplexText("more than " + std::to_string(limits.cpu_seconds) + " seconds of drawing");
  }
  return TooComplexText("more than " + GroupDigits(limits.bytes >> 20) + " MB of drawing");
}

std::vector<std::string> HandedWarnings(const Handed& handed) {
  std::vector<std::string> warnings;
  for (size_t at = 0; at < sizeof handed.warnings && handed.warnings[at];) {
    const size_t length = ::strnlen(handed.warnings + at, sizeof handed.warnings - at);
    warnings.emplace_back(handed.warnings + at, length);
    at += length + 1;
  }
  return warnings;
}

}  // namespace

void CancelSvgDrawings() { g_cancelled.fetch_add(1); }

SvgDrawing DrawSvgBounded(QImageReader& reader, QImage& image,
                          const std::function<std::vector<std::string>()>& warnings, const DrawingLimits& limits) {
  SvgDrawing drawing;
  const QSize size = reader.scaledSize().isValid() ? reader.scaledSize() : reader.size();
  if (!size.isValid()) {
    drawing.read = reader.read(&image);
    return drawing;
  }
  // The reader draws 32-bit pixels, rows of 4-byte pixels.
  SharedMemory shared(sizeof(Handed) + static_cast<size_t>(size.width()) * static_cast<size_t>(size.height()) * 4);
  if (!shared.at()) {
    drawing.failed = ChildFailure(0, false, limits);
    return drawing;
  }
  new (shared.at()) Handed;
  const uint64_t started_cancelled = g_cancelled.load();
  const pid_t child = ::fork();
  if (child < 0) {
    drawing.read = reader.read(&image);
    return drawing;
  }
  if (child == 0) DrawInChild(reader, image, shared, warnings, limits);

  // A thread of Qt's pool that only waits gives its place back meanwhile:
  // the window's painting scales pictures on the same pool.
  QThreadPool* const pool = QThreadPool::globalInstance();
  const bool pooled = pool->contains(QThread::currentThread());
  if (pooled) pool->releaseThread();
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  bool timed_out = false, cancelled = false;
  while (true) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) break;
    timed_out = std::chrono::steady_clock::now() - start > std::chrono::seconds(limits.seconds);
    cancelled = g_cancelled.load() != started_cancelled;
    if (timed_out || cancelled) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (pooled) pool->reserveThread();
  const auto* handed = static_cast<const Handed*>(shared.at());
  drawing.warnings = HandedWarnings(*handed);
  if (cancelled) {
    drawing.failed = "the drawing was cancelled";
  } else if (!timed_out && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    drawing.read = handed->read != 0;
    if (drawing.read) {
      const QImage held(static_cast<const uchar*>(shared.at()) + sizeof(Handed), handed->width, handed->height,
                        handed->bytes_per_line, static_cast<QImage::Format>(handed->format));
      image = held.copy();
    }
  } else {
    drawing.failed = ChildFailure(status, timed_out, limits);
  }
  return drawing;
}

}  // namespace kws
