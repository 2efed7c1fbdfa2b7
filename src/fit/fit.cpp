#include "fit/fit.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace kws {

namespace {

constexpr int kDitherLevelCount = static_cast<int>(std::size(kDitherLevels));
constexpr double kRootPower = 0.25;
constexpr int kSlowGuesses = 3;

class Search {
 public:
  Search(size_t budget, const MakeCandidate& make, FitOutcome& outcome)
      : budget_(budget), make_(make), outcome_(outcome) {}

  Candidate Measure(int colors, double dithering) {
    Candidate c = make_(colors, dithering);
    outcome_.smallest_size = outcome_.probes == 0 ? c.size : std::min(outcome_.smallest_size, c.size);
    ++outcome_.probes;
    return c;
  }
  bool Fits(const Candidate& c) const { return c.size <= budget_; }

  // Full dithering is too big and none fits: the most that still fits, by
  // bisection over the levels in between.
  Candidate MostDithering(int colors, Candidate undithered) {
    int too_big = 0, fits = kDitherLevelCount - 1;
    Candidate best = std::move(undithered);
    while (fits - too_big > 1) {
      const int mid = (too_big + fits) / 2;
      Candidate c = Measure(colors, kDitherLevels[mid]);
      if (Fits(c)) {
        fits = mid;
        best = std::move(c);
      } else {
        too_big = mid;
      }
    }
    return best;
  }

  // Even the full palette without dithering is too big (size_full): the most
  // colours that fit.
  std::optional<Candidate> MostColors(int full_colors, size_t size_full) {
    // One colour takes next to nothing: the range's lower end before any
    // count has been seen to fit.
    const ColorRange range{kMinColors - 1, -static_cast<double>(budget_), full_colors,
                           static_cast<double>(size_full) - static_cast<double>(budget_)};
    return NarrowColors(range, budget_, [this](int colors) { return Measure(colors, 0.0); });
  }

 private:
  size_t budget_;
  const MakeCandidate& make_;
  FitOutcome& outcome_;
};

}  // namespace

// When one end of the range stays put twice in a row, its weight is halved
// (the Illinois rule) so the guesses close in from both sides, and after
// three guesses in a row that failed to halve the range one plain bisection
// follows.
std::optional<Candidate> NarrowColors(ColorRange r, size_t budget, const std::function<Candidate(int)>& measure) {
  std::optional<Candidate> best;
  enum class Moved { kNone, kLo, kHi } last = Moved::kNone;
  int slow = 0;
  while (r.hi - r.lo > 1) {
    const int width = r.hi - r.lo;
    const int colors = slow == kSlowGuesses ? r.lo + width / 2 : GuessColors(r.lo, r.excess_lo, r.hi, r.excess_hi);
    Candidate c = measure(colors);
    const double excess = static_cast<double>(c.size) - static_cast<double>(budget);
    if (c.size <= budget) {
      if (last == Moved::kLo) r.excess_hi /= 2;
      r.lo = colors;
      r.excess_lo = excess;
      last = Moved::kLo;
      best = std::move(c);
    } else {
      if (last == Moved::kHi) r.excess_lo /= 2;
      r.hi = colors;
      r.excess_hi = excess;
      last = Moved::kHi;
    }
    slow = (r.hi - r.lo) * 2 > width && slow < kSlowGuesses ? slow + 1 : 0;
  }
  return best;
}

int GuessColors(int lo, double excess_lo, int hi, double excess_hi) {
  const double share = excess_hi > excess_lo ? std::clamp(-excess_lo / (excess_hi - excess_lo), 0.0, 1.0) : 0.5;
  const double root_lo = std::pow(lo, kRootPower), root_hi = std::pow(hi, kRootPower);
  const double root = root_lo + share * (root_hi - root_lo);
  const int guess = static_cast<int>(std::lround(std::pow(root, 1.0 / kRootPower)));
  return std::clamp(guess, lo + 1, hi - 1);
}

FitOutcome SearchFit(int full_colors, size_t budget, const MakeCandidate& make) {
  FitOutcome outcome;
  Search search(budget, make, outcome);
  Candidate first = search.Measure(full_colors, kDitherLevels[0]);
  outcome.first_size = first.size;
  if (search.Fits(first)) {
    outcome.chosen = std::move(first);
    return outcome;
  }
  Candidate undithered = search.Measure(full_colors, 0.0);
  if (search.Fits(undithered)) {
    outcome.chosen = search.MostDithering(full_colors, std::move(undithered));
  } else {
    outcome.chosen = search.MostColors(full_colors, undithered.size);
  }
  return outcome;
}

}  // namespace kws
