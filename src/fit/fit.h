// The search for the best-looking version of a picture that fits the budget.
//
// Looks are ranked as the user sees them: full dithering of the full palette
// first, then less dithering of it, then fewer colours without dithering.
// Every candidate is measured as it will be written, so the one chosen fits.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>

#include "fit/dither_choice.h"
#include "format/bitmap.h"

namespace kws {

struct Candidate {
  Picture8 picture;
  int colors = 0;          // what was asked for; the palette may hold fewer
  double dithering = 0;    // 0 none to 1 full
  size_t size = 0;         // colour table + gzip member
  bool rated = false;      // the palette was chosen for a rate (see rate_refine.h)
  int rate = 0;            // what a bit of index was worth then
  bool selective = false;  // dithered only where the picture is smooth (see dither_choice.h)
};

// How the version is dithered.
inline Dithered DitheredOf(const Candidate& c) {
  if (c.dithering == 0) return Dithered::kNone;
  return c.selective ? Dithered::kSelective : Dithered::kFull;
}

// Makes and measures the picture with this many colours and this much
// dithering. Fewer colours than the full palette come without dithering.
using MakeCandidate = std::function<Candidate(int colors, double dithering)>;

struct FitOutcome {
  size_t first_size = 0;            // full palette, full dithering
  std::optional<Candidate> chosen;  // nothing when not even 2 colours fit
  size_t smallest_size = 0;         // the smallest size measured
  int probes = 0;                   // candidates made
};

// The dithering levels tried, best-looking first: eighths, fine enough that a
// step hardly shows, few enough for three tries to find the one.
inline constexpr double kDitherLevels[] = {1.0, 0.875, 0.75, 0.625, 0.5, 0.375, 0.25, 0.125, 0.0};
inline constexpr int kMinColors = 2;

// full_colors: the palette size the picture quantises to on its own.
FitOutcome SearchFit(int full_colors, size_t budget, const MakeCandidate& make);

// Between lo colours, which fit (or kMinColors - 1 before any has been seen
// to), and hi colours, which are too big, each given by how far it is over
// the budget (excess_lo <= 0, excess_hi > 0).
struct ColorRange {
  int lo = kMinColors - 1;
  double excess_lo = 0;
  int hi = 0;
  double excess_hi = 0;
};

// The most colours in the range that fit, narrowed down by measure (made at
// that many colours, measured as written): guesses interpolate between the
// sizes measured (GuessColors), and bisection bounds the search. Nothing when
// none was seen to fit.
std::optional<Candidate> NarrowColors(ColorRange range, size_t budget, const std::function<Candidate(int)>& measure);

// The next colour count to try between lo colours, which fit, and hi colours,
// which are too big, given how far each is over the budget (excess_lo <= 0,
// excess_hi > 0). Interpolated on the fourth root of the count, on which the
// size of a quantised picture grows about in a straight line from next to
// nothing at one colour.
int GuessColors(int lo, double excess_lo, int hi, double excess_hi);

}  // namespace kws
