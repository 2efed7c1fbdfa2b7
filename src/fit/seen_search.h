// The search for the version of a picture that looks best on the TV and
// fits the budget.
//
// Versions differ in the number of colours, in how the colours are chosen
// (for closeness alone, or for their bytes as well) and in the dithering:
// none, Floyd-Steinberg everywhere, or Floyd-Steinberg only where the
// picture is smooth (selective). Of those that fit, the one taken is the
// closest by PSNR as seen (see measure.h), which rewards dithering where the
// eye averages it out and not where it only costs bytes, among those the
// dithering asked for allows (see dither_choice.h). The size of a picture's gzip member does not grow smoothly
// with the number of colours (one more colour can split a noisy background
// and cost tens of kilobytes), so the search for the most colours that fit
// looks above what it found as well, and every version it returns has been
// measured as it will be written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <tuple>
#include <vector>

#include "fit/fit.h"

namespace kws {

struct Recipe {
  int colors = 0;
  double dithering = 0;    // 0 none to 1 full
  bool selective = false;  // only where the picture is smooth
  bool operator<(const Recipe& o) const {
    return std::tie(colors, dithering, selective) < std::tie(o.colors, o.dithering, o.selective);
  }
};

// Makes the version and measures its size as it will be written.
using MakeVersion = std::function<Candidate(const Recipe& recipe)>;
// How far the version is from the picture as seen: smaller is closer.
using SeenErrorOf = std::function<uint64_t(const Candidate& candidate)>;
// The same version brought closer to the picture (its colours refined, and
// for some versions mapped more than one way), which may change its size a
// little.
using Polish = std::function<std::vector<Candidate>(const Candidate& candidate)>;
// Makes the version whose palette is chosen for this rate (see
// rate_refine.h), with this much dithering, and measures it; the candidate
// says its rate. The higher the rate, the smaller.
using MakeRated = std::function<Candidate(int rate, double dithering)>;
// The same for one kind of version: the rate is all that varies.
using MakeAtRate = std::function<Candidate(int rate)>;
// How far the version is from the picture in plain PSNR's squared
// differences: smaller is closer.
using PlainErrorOf = std::function<uint64_t(const Candidate& candidate)>;

// The plain error of the version in the palette chosen for this rate with
// this much dithering everywhere, its size not measured: a deflation costs
// as much as the mapping, and a version that cannot be taken needs neither.
using PlainErrorAt = std::function<uint64_t(int rate, double dithering)>;

// How the version taken is chosen among those that fit. Selective versions
// are made for every kind but none, their palettes chosen for a rate with
// make_selective, and otherwise with make; fully dithered ones only for auto
// and seen, and for auto only when full dithering in the best selective
// version's palette (plain_error_at) loses no plain PSNR against it. Without
// plain_error, equally close versions as seen go to the first.
struct ChoiceRule {
  DitherKind kind = DitherKind::kSeen;
  PlainErrorOf plain_error;
  MakeAtRate make_selective;
  PlainErrorAt plain_error_at = {};
};

// The dithering levels of the versions whose palette is chosen for a rate,
// besides none: each looked for at its own least rate that fits. Half
// dithering searched that way was never the closest as seen on the
// benchmark's pictures and cost a fifth of the time, so it is measured only
// at the rate full dithering fits at (kBetweenLevels): one version more.
inline constexpr double kDitheringLevels[] = {1.0};
inline constexpr double kBetweenLevels[] = {0.5};

// How strongly selective versions are dithered where the picture is smooth.
// The default holds every version to the plain PSNR of the best selective
// one, so this sets its balance: at full strength the smooth areas' grain
// cost the benchmark's photos 0.3 to 0.7 dB of plain PSNR against
// pngquant's selective dithering; at two thirds they keep more plain PSNR
// than it and still come closer as seen.
inline constexpr double kSelectiveDithering = 0.65;

struct SeenOutcome {
  std::optional<Candidate> chosen;  // nothing when not even 2 colours fit
  uint64_t seen_error = 0;          // of the chosen
  size_t first_size = 0;            // every colour, full dithering
  size_t smallest_size = 0;
  int probes = 0;  // versions made and measured
};

// full_colors: the palette size the picture quantises to on its own.
SeenOutcome SearchBySeen(int full_colors, size_t budget, const MakeVersion& make, const SeenErrorOf& seen_error,
                         const Polish& polish = {}, const MakeRated& make_rated = {}, const ChoiceRule& rule = {});

// The version with this dithering of the least rate that fits, to within an
// eighth: rates are tried from first up or down by fourfold steps, then
// bisected. Nothing when even the greatest rate tried (1,024) is too big.
std::optional<Candidate> LeastRateThatFits(size_t budget, double dithering, int first, const MakeRated& make_rated,
                                           int& probes);
std::optional<Candidate> LeastRateThatFits(size_t budget, int first, const MakeAtRate& make, int& probes);

}  // namespace kws
