#include "fit/seen_search.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "fit/rate_refine.h"

namespace kws {

namespace {

// Two counts between colours and full, a third and two thirds of the way.
std::vector<int> CountsAbove(int colors, int full) {
  std::vector<int> counts;
  for (int third = 1; third <= 2; ++third) {
    const int count = colors + (full - colors) * third / 3;
    if (count > colors + 1 && count < full && (counts.empty() || count > counts.back())) counts.push_back(count);
  }
  return counts;
}

// The least rate above too_big and below fitting whose logarithm reaches
// the target (in 256ths, as Log2In256ths): integer steps only, so that every
// platform guesses alike.
int RateAt(int64_t target, int too_big, int fitting) {
  int lo = too_big + 1, hi = fitting - 1;
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (Log2In256ths(static_cast<uint64_t>(std::max(mid, 1))) >= target) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// The rate the undithered search starts at: near where photos fit.
constexpr int kFirstRate = 16;
// Rates are narrowed down to within this share of themselves.
constexpr int kPrecision = 16;
// Guesses aim this far inside the budget, so that the one that fits is close.
constexpr double kAim = 0.995;
// A version this full of the budget is as good as the one that fills it.
constexpr double kFull = 0.99;

// How far in from either end of the range of rates a guess is kept.
constexpr double kLeastShare = 0.1;

// Whether a rate that fits is close enough above one too big.
bool Narrow(int too_big, int fitting) { return fitting - too_big <= std::max(1, fitting / kPrecision); }

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
  std::optional<Candidate> MostColors(int full_colors, double dithering, int start, bool look_above,
                                      bool selective = false) {
    auto at = [&](int colors) { return Recipe{colors, dithering, selective}; };
    auto measure = [&](int colors) { return Measure(at(colors)); };
    const Candidate& first = Measure(at(start));
    ColorRange range{kMinColors - 1, -static_cast<double>(budget_), full_colors, 0};
    std::optional<Candidate> best;
    if (Fits(first)) {
      if (start >= full_colors) return first;
      range.lo = start;
      range.excess_lo = Excess(first, budget_);
      best = first;
      // A dithered version takes at least the bytes of the undithered one
      // of as many colours: when that one was too big, so is it, and it
      // need not be made to bound the search.
      const auto undithered = made_.find(Recipe{full_colors, 0.0, false});
      if (dithering > 0 && !made_.contains(at(full_colors)) && undithered != made_.end() && !Fits(undithered->second)) {
        range.excess_hi = Excess(undithered->second, budget_);
      } else {
        range.excess_hi = Excess(Measure(at(full_colors)), budget_);
        if (range.excess_hi <= 0) return Measure(at(full_colors));
      }
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
      range = ColorRange{*above, Excess(*best, budget_), SmallestTooBigAbove(at(*above), full_colors), 0};
      range.excess_hi = Excess(Measure(at(range.hi)), budget_);
      if (range.excess_hi <= 0) return Measure(at(range.hi));
    }
  }

 private:
  int SmallestTooBigAbove(const Recipe& from, int full_colors) const {
    int smallest = full_colors;
    for (const auto& [recipe, c] : made_) {
      const bool alike = recipe.dithering == from.dithering && recipe.selective == from.selective;
      if (alike && recipe.colors > from.colors && recipe.colors < smallest && !Fits(c)) {
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

// The versions that fit, each judged once, and the one the rule takes.
class Judging {
 public:
  Judging(const SeenErrorOf& seen_error, const ChoiceRule& rule) : seen_error_(seen_error), rule_(rule) {}

  void Add(Candidate c) {
    judged_.push_back({seen_error_(c), rule_.plain_error ? rule_.plain_error(c) : 0, DitheredOf(c)});
    versions_.push_back(std::move(c));
  }

  // The version the kind takes; when none is of that kind, the default's.
  std::optional<size_t> Chosen() const {
    if (std::optional<size_t> chosen = ChooseVersion(judged_, rule_.kind)) return chosen;
    return ChooseVersion(judged_, DitherKind::kAuto);
  }

  // The selective version closest in plain PSNR: what the default holds
  // the others to.
  std::optional<size_t> PlainestSelective() const {
    std::optional<size_t> best;
    for (size_t i = 0; i < judged_.size(); ++i) {
      if (judged_[i].dithered != Dithered::kSelective) continue;
      if (!best || judged_[i].plain_error < judged_[*best].plain_error) best = i;
    }
    return best;
  }

  const Candidate& Version(size_t i) const { return versions_[i]; }

  SeenOutcome& Take(size_t i, SeenOutcome& outcome) {
    outcome.seen_error = judged_[i].seen_error;
    outcome.chosen = std::move(versions_[i]);
    return outcome;
  }

 private:
  const SeenErrorOf& seen_error_;
  const ChoiceRule& rule_;
  std::vector<Candidate> versions_;
  std::vector<Judged> judged_;
};

// The version the rule takes of those that fit; then the same polished,
// judged beside the others when it still fits. The selective version
// closest in plain PSNR is polished too: it is what the default holds the
// others to, and polished it may come closer as seen than any, so that
// every kind that takes it weighs the same versions.
SeenOutcome& Closest(std::vector<Candidate> fitting, const Prober& prober, const SeenErrorOf& seen_error,
                     const Polish& polish, const ChoiceRule& rule, SeenOutcome& outcome) {
  Judging judging(seen_error, rule);
  for (Candidate& c : fitting) judging.Add(std::move(c));
  std::optional<size_t> chosen = judging.Chosen();
  if (!chosen) return outcome;
  if (polish) {
    std::vector<size_t> to_polish{*chosen};
    const std::optional<size_t> floor = judging.PlainestSelective();
    if (floor && *floor != *chosen) to_polish.push_back(*floor);
    std::vector<Candidate> polished;
    for (size_t i : to_polish) {
      for (Candidate& c : polish(judging.Version(i))) {
        if (prober.Fits(c)) polished.push_back(std::move(c));
      }
    }
    for (Candidate& c : polished) judging.Add(std::move(c));
    chosen = judging.Chosen();
  }
  return judging.Take(*chosen, outcome);
}

// Under the default a fully dithered version is taken only when it loses no
// plain PSNR against the best selective one. Dithering everywhere costs more
// bytes than dithering smooth areas alone, so full dithering fits only at a
// higher rate than selective dithering, where fewer colours cost more plain
// PSNR still: when full dithering in the selective version's own palette
// already loses, none is made.
bool FullDitheringCannotBeTaken(const ChoiceRule& rule, const Candidate& selective) {
  if (rule.kind != DitherKind::kAuto || !rule.plain_error || !rule.plain_error_at) return false;
  return rule.plain_error_at(selective.rate, 1.0) > rule.plain_error(selective);
}

void AddIfFits(Candidate c, const Prober& prober, std::vector<Candidate>& fitting, SeenOutcome& outcome) {
  ++outcome.probes;
  if (prober.Fits(c)) fitting.push_back(std::move(c));
}

}  // namespace

std::optional<Candidate> LeastRateThatFits(size_t budget, double dithering, int first, const MakeRated& make_rated,
                                           int& probes) {
  return LeastRateThatFits(
      budget, first, [&](int rate) { return make_rated(rate, dithering); }, probes);
}

std::optional<Candidate> LeastRateThatFits(size_t budget, int first, const MakeAtRate& make, int& probes) {
  constexpr int kGreatest = 1024, kStep = 4;
  std::map<int, Candidate> made;
  auto fits = [&](int rate) {
    auto at = made.find(rate);
    if (at == made.end()) {
      ++probes;
      at = made.emplace(rate, make(rate)).first;
    }
    return at->second.size <= budget;
  };
  // A version that fills nearly all of the budget ends the search: a lower
  // rate that still fits could gain next to nothing.
  auto full = [&](int rate) { return static_cast<double>(made.at(rate).size) >= kFull * static_cast<double>(budget); };
  int too_big = -1, fitting = first;  // too_big: the greatest rate seen too big
  if (fits(first)) {
    while (fitting > 0 && !full(fitting)) {
      // From the first rate down, plain Lloyd's next: pictures that fit
      // there are common, and the rates between change them little.
      const int lower = fitting > kFirstRate ? fitting / kStep : 0;
      if (!fits(lower)) {
        too_big = lower;
        break;
      }
      fitting = lower;
    }
    if (too_big < 0) return made.at(fitting);
  } else {
    too_big = first;
    for (fitting = std::max(kStep, first * kStep); !fits(fitting); fitting *= kStep) {
      // A fourfold rate that took nothing off a version twice the budget
      // leaves every colour of a noise-like picture its entry: no rate will.
      const bool stuck = made.at(fitting).size >= made.at(too_big).size && made.at(fitting).size > 2 * budget;
      too_big = fitting;
      if (fitting >= kGreatest || stuck) return std::nullopt;
    }
  }
  // Between the two, the size falls about in a straight line with the
  // logarithm of the rate: guesses aim just inside the budget, kept a tenth
  // of the way in from either end so the range keeps shrinking.
  while (!Narrow(too_big, fitting) && !full(fitting)) {
    const int64_t lo = Log2In256ths(static_cast<uint64_t>(std::max(too_big, 1)));
    const int64_t hi = Log2In256ths(static_cast<uint64_t>(fitting));
    const double size_lo = static_cast<double>(made.at(too_big).size);
    const double size_hi = static_cast<double>(made.at(fitting).size);
    const double aim = kAim * static_cast<double>(budget);
    const double share =
        size_lo > size_hi ? std::clamp((size_lo - aim) / (size_lo - size_hi), kLeastShare, 1 - kLeastShare) : 0.5;
    const int rate = RateAt(lo + static_cast<int64_t>(share * static_cast<double>(hi - lo)), too_big, fitting);
    (fits(rate) ? fitting : too_big) = rate;
  }
  return made.at(fitting);
}

SeenOutcome SearchBySeen(int full_colors, size_t budget, const MakeVersion& make, const SeenErrorOf& seen_error,
                         const Polish& polish, const MakeRated& make_rated, const ChoiceRule& rule) {
  SeenOutcome outcome;
  Prober prober(budget, make, outcome);
  const bool fully = rule.kind == DitherKind::kAuto || rule.kind == DitherKind::kSeen;
  const bool selectively = rule.kind != DitherKind::kNone;
  const MakeAtRate selective_at = rule.make_selective;
  const Candidate& first = prober.Measure({full_colors, 1.0});
  outcome.first_size = first.size;
  std::vector<Candidate> fitting;
  if (make_rated && prober.Fits(first)) {
    // Every colour fits with full dithering: nothing comes closer as seen
    // than full dithering of every colour, its palette refined or not; the
    // other kinds take every colour too.
    std::vector<Candidate> selective;
    if (selectively && selective_at) AddIfFits(selective_at(0), prober, selective, outcome);
    if (fully && (selective.empty() || !FullDitheringCannotBeTaken(rule, selective.front()))) {
      fitting.push_back(first);
      AddIfFits(make_rated(0, 1.0), prober, fitting, outcome);
      for (double level : kBetweenLevels) AddIfFits(make_rated(0, level), prober, fitting, outcome);
    }
    AddIfFits(make_rated(0, 0.0), prober, fitting, outcome);
    for (Candidate& c : selective) fitting.push_back(std::move(c));
    return Closest(std::move(fitting), prober, seen_error, polish, rule, outcome);
  }

  // Undithered versions are the smallest: when none fits, nothing does.
  // Those with their palette chosen for the rate come closest for their
  // bytes; without them, or when even the greatest rate is too big, the
  // most colours that fit.
  std::optional<Candidate> plain;
  if (make_rated) plain = LeastRateThatFits(budget, 0.0, kFirstRate, make_rated, outcome.probes);
  const bool rated = plain.has_value();
  if (!plain) plain = prober.MostColors(full_colors, 0.0, full_colors, true);
  if (!plain) return outcome;
  fitting.push_back(*plain);
  if (rated) {
    // Dithered versions take more bytes at the same rate, the more so the
    // more they are dithered: selective dithering's least rate is looked
    // for from twice the undithered one, full dithering's from a quarter
    // above selective dithering's (where it fits, a little above it), or
    // else from four times the undithered one.
    bool fully_too = fully;
    int from = std::max(kFirstRate / 4, plain->rate * 4);
    std::optional<int> selective_rate;
    if (selectively && selective_at) {
      const int start = std::max(kFirstRate / 4, plain->rate * 2);
      if (std::optional<Candidate> c = LeastRateThatFits(budget, start, selective_at, outcome.probes)) {
        fully_too = fully && !FullDitheringCannotBeTaken(rule, *c);
        selective_rate = c->rate;
        from = std::max(kFirstRate / 4, c->rate + c->rate / 4);
        fitting.push_back(std::move(*c));
      }
    }
    const size_t before = fitting.size();
    for (double level : kDitheringLevels) {
      if (!fully_too) break;
      std::optional<Candidate> c = LeastRateThatFits(budget, level, from, make_rated, outcome.probes);
      if (!c) break;
      from = c->rate;
      fitting.push_back(std::move(*c));
    }
    if (fitting.size() > before) {
      for (double level : kBetweenLevels) AddIfFits(make_rated(from, level), prober, fitting, outcome);
      // Selectively dithered at full dithering's rate too: fewer colours,
      // more of them dithered.
      if (selectively && selective_at && selective_rate != from) {
        AddIfFits(selective_at(from), prober, fitting, outcome);
      }
    }
  } else {
    // Dithering fits about where no dithering does: above it when a noisy
    // picture's dithering costs little, below it otherwise.
    const int start = std::min(plain->colors, full_colors);
    if (fully) {
      if (std::optional<Candidate> full = prober.MostColors(full_colors, 1.0, start, false)) fitting.push_back(*full);
    }
    if (selectively) {
      if (std::optional<Candidate> c = prober.MostColors(full_colors, kSelectiveDithering, start, false, true))
        fitting.push_back(*c);
    }
  }

  return Closest(std::move(fitting), prober, seen_error, polish, rule, outcome);
}

}  // namespace kws
