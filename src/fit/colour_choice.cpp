#include "fit/colour_choice.h"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "fileio/file.h"
#include "fit/error_diffusion.h"
#include "fit/measure.h"
#include "fit/palette_refine.h"
#include "fit/quantizer.h"
#include "fit/rate_refine.h"
#include "fit/seen_search.h"
#include "format/gzip_member.h"
#include "format/number_text.h"
#include "format/pipeline_files.h"

namespace kws {

namespace {

Candidate Measured(Picture8 picture, int colors, double dithering, bool selective = false) {
  const size_t size = WelcomeDataSize(picture);
  Candidate c{std::move(picture), colors, dithering, size};
  c.selective = selective;
  return c;
}

// The rule's judges of a version against the canvas.
SeenErrorOf SeenJudge(const RgbaPicture& canvas) {
  return [&canvas](const Candidate& c) { return SeenError(canvas, c.picture); };
}
PlainErrorOf PlainJudge(const RgbaPicture& canvas) {
  return [&canvas](const Candidate& c) { return SquaredError(canvas, c.picture); };
}

// The canvas in its own colours when it has no more than 256 and fits (or
// no fitting was asked for): nothing is lost.
std::optional<Candidate> KeepExactColors(const RgbaPicture& canvas, const ColourChoiceOptions& options) {
  std::optional<Picture8> exact = ExactColors(canvas);
  if (!exact) return std::nullopt;
  const int colors = static_cast<int>(exact->palette.size());
  Candidate candidate = Measured(std::move(*exact), colors, 0.0);
  if (options.fit && candidate.size > options.budget) return std::nullopt;
  return candidate;
}

// The best-looking version of the canvas that fits, ranked as the user sees
// them (see fit.h).
FitOutcome FitByLooks(Quantizer& quantizer, const ColourChoiceOptions& options) {
  const int full_colors = quantizer.FullColors();
  const MakeCandidate make = [&](int colors, double dithering) {
    return Measured(colors < full_colors ? quantizer.Reduce(colors) : quantizer.Remap(dithering), colors, dithering);
  };
  return SearchFit(full_colors, options.budget, make);
}

// Without fitting: the full palette, undithered, selectively and fully
// dithered as the kind takes them, chosen by the kind's rule whatever
// their size. Without by_seen, fully dithered as the looks rank it.
FitOutcome FullPalette(const RgbaPicture& canvas, Quantizer& quantizer, const ColourChoiceOptions& options) {
  const int full_colors = quantizer.FullColors();
  const DitherKind kind = options.by_seen ? options.dither : DitherKind::kSeen;
  FitOutcome outcome;
  std::vector<Candidate> versions;
  versions.push_back(Measured(quantizer.Remap(1.0), full_colors, 1.0));
  outcome.first_size = versions.front().size;
  if (kind == DitherKind::kNone) versions.clear();
  if (kind == DitherKind::kSelective || kind == DitherKind::kAuto) {
    versions.push_back(Measured(quantizer.Map(quantizer.Palette(full_colors), kSelectiveDithering, true), full_colors,
                                kSelectiveDithering, true));
  }
  if (kind != DitherKind::kSelective && kind != DitherKind::kSeen) {
    versions.push_back(Measured(quantizer.Remap(0.0), full_colors, 0.0));
  }
  outcome.probes = static_cast<int>(versions.size()) + (kind == DitherKind::kNone ? 1 : 0);
  std::vector<Judged> judged;
  const SeenErrorOf seen = SeenJudge(canvas);
  const PlainErrorOf plain = PlainJudge(canvas);
  for (const Candidate& c : versions) judged.push_back({seen(c), plain(c), DitheredOf(c)});
  outcome.smallest_size = outcome.first_size;
  for (const Candidate& c : versions) outcome.smallest_size = std::min(outcome.smallest_size, c.size);
  outcome.chosen = std::move(versions[ChooseVersion(judged, kind).value_or(0)]);
  return outcome;
}

// Versions brought closer to the canvas by the squared differences PSNR
// counts: libimagequant's palette of the count refined on the canvas
// (Lloyd's), then the canvas mapped to it with the version's dithering; an
// undithered one has each colour moved to the mean of the pixels that take
// it, which changes no index and so no byte of the gzip member.
class RefinedVersions {
 public:
  RefinedVersions(const RgbaPicture& canvas, Quantizer& quantizer) : canvas_(canvas), quantizer_(quantizer) {}

  Candidate Make(const Candidate& version) const {
    Picture8 picture;
    picture.palette = quantizer_.Palette(version.colors);
    RefineColors(canvas_, picture, kRefineRounds);
    if (version.dithering > 0) picture = quantizer_.Map(picture.palette, version.dithering, version.selective);
    if (version.dithering == 0) MoveToMeans(canvas_, picture);
    return Measured(std::move(picture), version.colors, version.dithering, version.selective);
  }

 private:
  // Each round of refinement brings less than the one before; four take
  // most of what is to be had (0.4 dB on a grainy photo) in the time of two
  // deflations.
  static constexpr int kRefineRounds = 4;

  const RgbaPicture& canvas_;
  Quantizer& quantizer_;
};

// Rounds of refinement for a rate: as for PSNR alone, four take most of
// what is to be had. A version's palette polished on every colour takes as
// many: two cost a 64-megapixel photo's fully dithered version 0.05 dB as
// seen, enough to fall behind pngquant's.
constexpr int kRateRounds = 4;

// Chosen by PSNR as seen: versions of every kind (see seen_search.h),
// the one closest to the canvas as seen chosen; the undithered one also with
// its colours refined.
FitOutcome FitBySeen(const RgbaPicture& canvas, Quantizer& quantizer, const ColourChoiceOptions& options) {
  const int full_colors = quantizer.FullColors();
  const RefinedVersions refined(canvas, quantizer);
  const MakeVersion make = [&](const Recipe& r) {
    if (r.selective)
      return Measured(quantizer.Map(quantizer.Palette(r.colors), r.dithering, true), r.colors, r.dithering, true);
    Picture8 picture = r.colors >= full_colors ? quantizer.Remap(r.dithering) : quantizer.Reduce(r.colors, r.dithering);
    return Measured(std::move(picture), r.colors, r.dithering);
  };
  const SeenErrorOf seen = SeenJudge(canvas);
  const ColourCounts counts = CountColours(canvas);
  const ColourCounts gathered = Gathered(counts);
  const std::vector<Rgb> start = quantizer.Palette(full_colors);
  // The canvas in a palette chosen for rate, with this much dithering.
  const auto in_palette = [&](const std::vector<Rgb>& palette, int rate, double dithering, bool selective) {
    Picture8 picture =
        dithering > 0 ? quantizer.Map(palette, dithering, selective) : MapForRate(canvas, counts, palette, rate);
    const int colors = static_cast<int>(picture.palette.size());
    Candidate c = Measured(std::move(picture), colors, dithering, selective);
    c.rated = true;
    c.rate = rate;
    return c;
  };
  std::map<int, std::vector<Rgb>> palettes;  // by rate: the dithered versions share them
  const auto palette_for = [&](int rate) -> const std::vector<Rgb>& {
    auto at = palettes.find(rate);
    if (at == palettes.end()) at = palettes.emplace(rate, RefineForRate(gathered, start, rate, kRateRounds)).first;
    return at->second;
  };
  const MakeRated rated = [&](int rate, double dithering) {
    return in_palette(palette_for(rate), rate, dithering, false);
  };
  const ChoiceRule rule{
      options.dither, PlainJudge(canvas),
      [&](int rate) { return in_palette(palette_for(rate), rate, kSelectiveDithering, true); },
      [&](int rate, double dithering) { return SquaredError(canvas, quantizer.Map(palette_for(rate), dithering)); }};
  // A version whose palette was chosen for a rate among gathered colours is
  // refined on the picture's every colour, at the same rate.
  const Polish refine = [&](const Candidate& c) {
    if (c.rated) {
      return std::vector<Candidate>{
          in_palette(RefineForRate(counts, c.picture.palette, c.rate, kRateRounds), c.rate, c.dithering, c.selective)};
    }
    std::vector<Candidate> polished{refined.Make(c)};
    // Where no rate helps the picture is noise-like: error diffusion that
    // carries every error comes closer as seen than libimagequant's there.
    if (DitheredOf(c) == Dithered::kFull && c.dithering == 1.0) {
      Picture8 diffused = DiffuseErrors(canvas, polished.front().picture.palette);
      polished.push_back(Measured(std::move(diffused), c.colors, c.dithering));
    }
    return polished;
  };
  SeenOutcome found = SearchBySeen(full_colors, options.budget, make, seen, refine, rated, rule);
  FitOutcome outcome;
  outcome.first_size = found.first_size;
  outcome.smallest_size = found.smallest_size;
  outcome.probes = found.probes;
  outcome.chosen = std::move(found.chosen);
  return outcome;
}

}  // namespace

ColourChoice ChooseColors(const RgbaPicture& canvas, const ColourChoiceOptions& options) {
  ColourChoice choice;
  if (std::optional<Candidate> exact = KeepExactColors(canvas, options)) {
    choice.first_size = choice.smallest_size = exact->size;
    choice.candidates = 1;
    choice.exact = true;
    choice.chosen = std::move(exact);
    return choice;
  }
  Quantizer quantizer(canvas);
  FitOutcome outcome = !options.fit      ? FullPalette(canvas, quantizer, options)
                       : options.by_seen ? FitBySeen(canvas, quantizer, options)
                                         : FitByLooks(quantizer, options);
  choice.first_size = outcome.first_size;
  choice.smallest_size = outcome.smallest_size;
  choice.candidates = outcome.probes;
  choice.fitted = options.fit && outcome.first_size > options.budget;
  choice.chosen = std::move(outcome.chosen);
  return choice;
}

size_t WelcomeDataSize(const Picture8& picture) {
  return kColorTableEntrySize * picture.palette.size() + GzipMember(files::kPixelRows, picture.pixels).size();
}

std::string NoFitMessage(const std::string& name, size_t smallest_size, size_t budget) {
  return PrintableName(name) + " cannot be made to fit the receivers: even down to " + std::to_string(kMinColors) +
         " colours without dithering, its smallest version takes " + GroupDigits(smallest_size) +
         " bytes of colour table and compressed picture, and the welcome image holds at most " + GroupDigits(budget) +
         ".";
}

}  // namespace kws
