// Qt's SVG drawing, bounded in time and memory. The count before drawing
// (fit/svg_cost.h) refuses what is known to be slow; what it cannot see (a
// style sheet's dashes, a renderer's own worst cases) is drawn in a child
// process with a CPU-time limit (RLIMIT_CPU) and an address-space limit
// (RLIMIT_AS), watched against the clock by the parent, which kills it when
// the drawing is cancelled. A child, not a thread: Qt's drawing cannot be
// stopped from outside, and under a memory limit it ends in SIGSEGV rather
// than in an error, which only a separate process survives. A fork rather
// than a helper program: the SVG reader, its plugin and the fonts are loaded
// already, and nothing has to be found on the disk.
#pragma once

#include <QImage>
#include <QImageReader>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kws {

// The most one drawing may take: CPU seconds, seconds by the clock (the
// machine may be busy), and address space beyond what the process holds.
// The import's are 10 s, 30 s and 512 MiB: some ten times what the count
// before drawing lets through, and within what an import may take.
struct DrawingLimits {
  int cpu_seconds = 10;
  int seconds = 30;
  uint64_t bytes = uint64_t{512} << 20;
};

struct SvgDrawing {
  bool read = false;                  // the reader's read() succeeded
  std::string failed;                 // why not, in the tool's words, when the child failed
  std::vector<std::string> warnings;  // what the reader warned of in the child
};

// Reads the SVG reader is set up for into image, as reader.read(&image)
// would, in a bounded child process; warnings, called there after reading,
// gives what the reader warned of.
SvgDrawing DrawSvgBounded(QImageReader& reader, QImage& image,
                          const std::function<std::vector<std::string>()>& warnings, const DrawingLimits& limits = {});

// Ends every bounded drawing under way, which then fail as cancelled: the
// window calls it when the import it started is no longer wanted.
void CancelSvgDrawings();

}  // namespace kws
