// The search for the version of a picture that looks best on the TV and
// fits the budget.
//
// Versions differ in the number of colours and in the dithering: none, or
// Floyd-Steinberg at half or full strength. They are ranked by PSNR as seen (see measure.h), which
// rewards dithering where the eye averages it out and not where it only
// costs bytes. The size of a picture's gzip member does not grow smoothly
// with the number of colours (one more colour can split a noisy background
// and cost tens of kilobytes), so the search for the most colours that fit
// looks above what it found as well, and every version it returns has been
// measured as it will be written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "fit/fit.h"

namespace kws {

struct Recipe {
  int colors = 0;
  double dithering = 0;  // 0 none to 1 full
  bool operator<(const Recipe& o) const { return colors != o.colors ? colors < o.colors : dithering < o.dithering; }
};

// Makes the version and measures its size as it will be written.
using MakeVersion = std::function<Candidate(const Recipe& recipe)>;
// How far the version is from the picture as seen: smaller is closer.
using SeenErrorOf = std::function<uint64_t(const Candidate& candidate)>;
// The same version brought closer to the picture (its colours refined),
// which may change its size a little.
using Polish = std::function<Candidate(const Candidate& candidate)>;

struct SeenOutcome {
  std::optional<Candidate> chosen;  // nothing when not even 2 colours fit
  uint64_t seen_error = 0;          // of the chosen
  size_t first_size = 0;            // every colour, full dithering
  size_t smallest_size = 0;
  int probes = 0;  // versions made and measured
};

// The dithering levels a version may have besides none.
inline constexpr double kEvenDithering[] = {1.0, 0.5};

// full_colors: the palette size the picture quantises to on its own.
SeenOutcome SearchBySeen(int full_colors, size_t budget, const MakeVersion& make, const SeenErrorOf& seen_error,
                         const Polish& polish = {});

}  // namespace kws
