#include "fit/seen_search.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

namespace kws {

namespace {

// Three counts between colours and full, spread evenly on a log scale.
std::vector<int> CountsAbove(int colors, int full) {
  constexpr int kSteps = 4;
  std::vector<int> counts;
  const double ratio = std::pow(static_cast<double>(full) / colors, 1.0 / kSteps);
  double at = colors;
  for (int i = 1; i < kSteps; ++i) {
    at *= ratio;
    const int count = static_cast<int>(std::lround(at));
    if (count > colors + 1 && count < full && (counts.empty() || count > counts.back())) counts.push_back(count);
  }
  return counts;
}

double Excess(const Candidate& c, size_t budget) { return static_cast<double>(c.size) - static_cast<double>(budget); }

// Makes each version once, however often the search asks for it.
class Prober {
 public:
  Prober(size_t budget, const MakeVersion& make, SeenOutcome& outcome)
      : budget_(budget), make_(make), outcome_(outcome) {}

  const Candidate& Measure(const Recipe& recipe) {
    auto at = made_.find(recipe);
    if (at != made_.end()) return at->second;
    Candidate c = make_(recipe);
    outcome_.smallest_size = outcome_.probes == 0 ? c.size : std::min(outcome_.smallest_size, c.size);
    ++outcome_.probes;
    return made_.emplace(recipe, std::move(c)).first->second;
  }
  bool Fits(const Candidate& c) const { return c.size <= budget_; }

  // The most colours that fit with this dithering. Measured first at start
  // (a count near the answer, when one is known), then narrowed. With
  // look_above, a few counts spread evenly (on a log scale) between those
  // found and the full palette are tried too, since one more colour can
  // cost far more than many more, and the search goes on above any of them
  // that fits.
  std::optional<Candidate> MostColors(int full_colors, double dithering, int start, bool look_above) {
    auto at = [&](int colors) { return Recipe{colors, dithering}; };
    auto measure = [&](int colors) { return Measure(at(colors)); };
    const Candidate& first = Measure(at(start));
    ColorRange range{kMinColors - 1, -static_cast<double>(budget_), full_colors, 0};
    std::optional<Candidate> best;
    if (Fits(first)) {
      if (start >= full_colors) return first;
      range.lo = start;
      range.excess_lo = Excess(first, budget_);
      best = first;
      range.excess_hi = Excess(Measure(at(full_colors)), budget_);
      if (range.excess_hi <= 0) return Measure(at(full_colors));
    } else {
      range.hi = start;
      range.excess_hi = Excess(first, budget_);
    }
    for (;;) {
      if (std::optional<Candidate> found = NarrowColors(range, budget_, measure)) best = std::move(found);
      if (!best || !look_above) return best;
      std::optional<int> above;
      for (int colors : CountsAbove(best->colors, full_colors)) {
        if (Fits(Measure(at(colors)))) above = colors;
      }
      if (!above) return best;
      best = Measure(at(*above));
      range = ColorRange{*above, Excess(*best, budget_), SmallestTooBigAbove(*above, dithering, full_colors), 0};
      range.excess_hi = Excess(Measure(at(range.hi)), budget_);
      if (range.excess_hi <= 0) return Measure(at(range.hi));
    }
  }

 private:
  int SmallestTooBigAbove(int colors, double dithering, int full_colors) const {
    int smallest = full_colors;
    for (const auto& [recipe, c] : made_) {
      if (recipe.dithering == dithering && recipe.colors > colors && recipe.colors < smallest && !Fits(c)) {
        smallest = recipe.colors;
      }
    }
    return smallest;
  }

  size_t budget_;
  const MakeVersion& make_;
  SeenOutcome& outcome_;
  std::map<Recipe, Candidate> made_;
};

}  // namespace

SeenOutcome SearchBySeen(int full_colors, size_t budget, const MakeVersion& make, const SeenErrorOf& seen_error,
                         const Polish& polish) {
  SeenOutcome outcome;
  Prober prober(budget, make, outcome);
  outcome.first_size = prober.Measure({full_colors, kEvenDithering[0]}).size;

  // Undithered versions are the smallest: when none fits, nothing does.
  std::optional<Candidate> plain = prober.MostColors(full_colors, 0.0, full_colors, true);
  if (!plain) return outcome;
  std::vector<Candidate> fitting{*plain};
  // Dithered versions fit about where the undithered one does: above it
  // when a noisy picture's dithering costs little, below it otherwise.
  const int start = plain->colors;
  for (double level : kEvenDithering) {
    if (std::optional<Candidate> c = prober.MostColors(full_colors, level, start, false)) fitting.push_back(*c);
  }

  // The closest as seen, also polished when that still fits; of equally
  // close ones, the first found.
  if (polish) {
    const size_t found = fitting.size();
    for (size_t i = 0; i < found; ++i) {
      Candidate polished = polish(fitting[i]);
      if (prober.Fits(polished)) fitting.push_back(std::move(polished));
    }
  }
  for (Candidate& c : fitting) {
    const uint64_t error = seen_error(c);
    if (!outcome.chosen || error < outcome.seen_error) {
      outcome.seen_error = error;
      outcome.chosen = std::move(c);
    }
  }
  return outcome;
}

}  // namespace kws
