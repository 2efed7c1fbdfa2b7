#include "fit/colour_choice.h"

#include <algorithm>
#include <future>
#include <limits>
#include <utility>
#include <vector>

#include "fileio/file.h"
#include "fit/measure.h"
#include "fit/palette_refine.h"
#include "fit/quantizer.h"
#include "fit/smoothing.h"
#include "format/number_text.h"
#include "format/pipeline_files.h"
#include "steps/gzip_f9.h"

namespace kws {

namespace {

// The search's side branches run on threads of their own; where there are
// none (the browser page's WebAssembly), one after the other when their
// result is wanted. Either way each branch computes the same.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
constexpr std::launch kBranch = std::launch::deferred;
#else
constexpr std::launch kBranch = std::launch::async;
#endif

Candidate Measured(Picture8 picture, int colors, double dithering) {
  const size_t size = WelcomeDataSize(picture);
  return Candidate{std::move(picture), colors, dithering, size};
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
// them (see fit.h), or with no fitting the full palette fully dithered.
FitOutcome FitByLooks(Quantizer& quantizer, const ColourChoiceOptions& options) {
  const int full_colors = quantizer.FullColors();
  const MakeCandidate make = [&](int colors, double dithering) {
    return Measured(colors < full_colors ? quantizer.Reduce(colors) : quantizer.Remap(dithering), colors, dithering);
  };
  if (options.fit) return SearchFit(full_colors, options.budget, make);
  FitOutcome outcome;
  Candidate full = make(full_colors, kDitherLevels[0]);
  outcome.first_size = outcome.smallest_size = full.size;
  outcome.probes = 1;
  outcome.chosen = std::move(full);
  return outcome;
}

// Undithered versions of the canvas made for PSNR: the pixels mapped and the
// colours refined (Lloyd's) on the canvas smoothed as asked, so that the
// smoothing decides how evenly the picture compresses; then each colour
// moved to the mean of the canvas pixels that take it, which changes no
// index and so no byte of the gzip member. The full palette starts refined
// on the canvas itself, which most smoothed versions are close to.
class UnditheredVersions {
 public:
  UnditheredVersions(const RgbaPicture& canvas, Quantizer& quantizer)
      : canvas_(canvas), smoothed_(Smoothed(canvas, 1)), quantizer_(quantizer) {
    Picture8 picture;
    picture.palette = quantizer_.Palette(quantizer_.FullColors());
    RefineColors(canvas_, picture, kRefineRounds);
    refined_ = std::move(picture.palette);
  }

  // Safe on several threads at once.
  Candidate Make(int strength, int colors) const {
    Picture8 picture;
    picture.palette = colors >= quantizer_.FullColors() ? refined_ : quantizer_.Palette(colors);
    RefineColors(strength > 0 ? Blended(canvas_, smoothed_, strength) : canvas_, picture, kRefineRounds);
    MoveToMeans(canvas_, picture);
    Candidate candidate = Measured(std::move(picture), colors, 0.0);
    candidate.smoothing = strength;
    return candidate;
  }

 private:
  // Each round of refinement brings less than the one before; four from
  // libimagequant's palette and four more from the canvas's refined one
  // take most of what is to be had (0.4 dB on a grainy photo) in the time
  // of two deflations.
  static constexpr int kRefineRounds = 4;

  const RgbaPicture& canvas_;
  RgbaPicture smoothed_;
  Quantizer& quantizer_;
  std::vector<Rgb> refined_;  // the full palette refined on the canvas
};

double PsnrOf(const RgbaPicture& canvas, const std::optional<Candidate>& c) {
  return c ? Psnr(canvas, c->picture) : -std::numeric_limits<double>::infinity();
}

// With smoothing asked for: when the full palette with full dithering is too
// big, the undithered version closest to the canvas by PSNR of two searches
// (undithered is always closer than dithered in the same colours): the least
// smoothing with which the full palette fits, and the most colours that fit
// without smoothing, which keeps hard edges better. The full dithering and
// the unsmoothed colours are each made on a thread of their own beside the
// rest.
FitOutcome FitByPsnr(const RgbaPicture& canvas, Quantizer& quantizer, const ColourChoiceOptions& options) {
  const int full_colors = quantizer.FullColors();
  const size_t budget = options.budget;
  const UnditheredVersions versions(canvas, quantizer);
  std::future<Candidate> dithered =
      std::async(kBranch, [&] { return Measured(quantizer.Remap(kDitherLevels[0]), full_colors, kDitherLevels[0]); });
  FitOutcome outcome;
  std::optional<Candidate> plain = versions.Make(0, full_colors);
  std::future<FitOutcome> fewer;
  if (plain->size > budget) {
    const size_t size_full = plain->size;
    fewer = std::async(kBranch, [&versions, full_colors, size_full, budget] {
      return SearchColors(full_colors, size_full, budget,
                          [&versions](int colors, double) { return versions.Make(0, colors); });
    });
    FitOutcome smoothing = SearchSmoothing(full_colors, kSmoothingSteps, budget, [&versions](int strength, int colors) {
      return versions.Make(strength, colors);
    });
    FitOutcome colors = fewer.get();
    outcome.probes = smoothing.probes + colors.probes;
    outcome.smallest_size = std::min({plain->size, smoothing.smallest_size, colors.smallest_size});
    plain =
        std::move(PsnrOf(canvas, smoothing.chosen) > PsnrOf(canvas, colors.chosen) ? smoothing.chosen : colors.chosen);
  } else {
    outcome.smallest_size = plain->size;
  }
  Candidate first = dithered.get();
  outcome.probes += 2;
  outcome.first_size = first.size;
  outcome.smallest_size = std::min(outcome.smallest_size, first.size);
  outcome.chosen = first.size <= budget ? std::optional<Candidate>(std::move(first)) : std::move(plain);
  return outcome;
}

}  // namespace

ColourChoice ChooseColors(const RgbaPicture& canvas, const ColourChoiceOptions& options) {
  ColourChoice choice;
  if (std::optional<Candidate> exact = KeepExactColors(canvas, options)) {
    choice.first_size = choice.smallest_size = exact->size;
    choice.candidates = 1;
    choice.chosen = std::move(exact);
    return choice;
  }
  Quantizer quantizer(canvas);
  FitOutcome outcome =
      options.fit && options.smoothing ? FitByPsnr(canvas, quantizer, options) : FitByLooks(quantizer, options);
  choice.first_size = outcome.first_size;
  choice.smallest_size = outcome.smallest_size;
  choice.candidates = outcome.probes;
  choice.fitted = options.fit && outcome.first_size > options.budget;
  choice.chosen = std::move(outcome.chosen);
  return choice;
}

size_t WelcomeDataSize(const Picture8& picture) {
  return 3 * picture.palette.size() +
         GzipF9Member(files::kPixelRows, picture.pixels.data(), picture.pixels.size()).size();
}

std::string NoFitMessage(const std::string& name, size_t smallest_size, size_t budget) {
  return PrintableName(name) + " cannot be made to fit the receivers: even down to " + std::to_string(kMinColors) +
         " colours without dithering, its smallest version takes " + GroupDigits(smallest_size) +
         " bytes of colour table and compressed picture, and the welcome image holds at most " + GroupDigits(budget) +
         ".";
}

}  // namespace kws
