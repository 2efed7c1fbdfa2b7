#include "picture/import_picture.h"

#include <QColor>
#include <QImage>
#include <cmath>
#include <functional>
#include <future>
#include <limits>
#include <utility>
#include <vector>

#include "fileio/file.h"
#include "format/number_text.h"
#include "format/pipeline_files.h"
#include "log/activity_log.h"
#include "picture/canvas.h"
#include "picture/fit.h"
#include "picture/palette_refine.h"
#include "picture/quantizer.h"
#include "picture/smoothing.h"
#include "picture/tv_checks.h"
#include "steps/bitmap8.h"
#include "steps/gzip_f9.h"

namespace kws {

namespace {

constexpr double kNoLoss = std::numeric_limits<double>::infinity();

// A bitmap the pipeline takes as it is, when within the budget (or when no
// fitting was asked for): kept, pixels and palette.
std::optional<ImportedPicture> KeepAcceptableBitmap(const std::string& path, const ImportOptions& options) {
  std::optional<Picture8> bitmap = ReadConvertibleBitmap(path);
  if (!bitmap) return std::nullopt;
  ImportReport report;
  report.source_width = report.placed_width = kPictureWidth;
  report.source_height = report.placed_height = kPictureHeight;
  report.unchanged = true;
  report.colors = static_cast<int>(bitmap->palette.size());
  report.first_size = report.size = WelcomeDataSize(*bitmap);
  report.budget = options.budget;
  report.psnr_db = kNoLoss;
  if (options.fit && !report.Fits()) return std::nullopt;
  return ImportedPicture{std::move(*bitmap), report};
}

Candidate Measured(Picture8 picture, int colors, double dithering) {
  const size_t size = WelcomeDataSize(picture);
  return Candidate{std::move(picture), colors, dithering, size};
}

std::string NoFitMessage(const std::string& path, const FitOutcome& outcome, size_t budget) {
  return PrintableName(path) + " cannot be made to fit the receivers: even down to " + std::to_string(kMinColors) +
         " colours without dithering, its smallest version takes " + GroupDigits(outcome.smallest_size) +
         " bytes of colour table and compressed picture, and the welcome image holds at most " + GroupDigits(budget) +
         ".";
}

// The canvas in its own colours when it has no more than 256 and fits (or
// no fitting was asked for): nothing is lost.
std::optional<Candidate> KeepExactColors(const QImage& canvas, const ImportOptions& options, ImportReport& report) {
  std::optional<Picture8> exact = ExactColors(canvas);
  if (!exact) return std::nullopt;
  const int colors = static_cast<int>(exact->palette.size());
  Candidate candidate = Measured(std::move(*exact), colors, 0.0);
  if (options.fit && candidate.size > options.budget) return std::nullopt;
  report.first_size = candidate.size;
  report.candidates = 1;
  return candidate;
}

// The best-looking version of the canvas that fits, ranked as the user sees
// them (see fit.h), or with no fitting the full palette fully dithered.
FitOutcome FitByLooks(Quantizer& quantizer, const ImportOptions& options) {
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
  UnditheredVersions(const QImage& canvas, Quantizer& quantizer)
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

  const QImage& canvas_;
  QImage smoothed_;
  Quantizer& quantizer_;
  std::vector<Rgb> refined_;  // the full palette refined on the canvas
};

double PsnrOf(const QImage& canvas, const std::optional<Candidate>& c) {
  return c ? Psnr(canvas, c->picture) : -std::numeric_limits<double>::infinity();
}

// With smoothing asked for: when the full palette with full dithering is too
// big, the undithered version closest to the canvas by PSNR of two searches
// (undithered is always closer than dithered in the same colours): the least
// smoothing with which the full palette fits, and the most colours that fit
// without smoothing, which keeps hard edges better. The full dithering and
// the unsmoothed colours are each made on a thread of their own beside the
// rest.
FitOutcome FitByPsnr(const QImage& canvas, Quantizer& quantizer, const ImportOptions& options) {
  const int full_colors = quantizer.FullColors();
  const size_t budget = options.budget;
  const UnditheredVersions versions(canvas, quantizer);
  std::future<Candidate> dithered = std::async(
      std::launch::async, [&] { return Measured(quantizer.Remap(kDitherLevels[0]), full_colors, kDitherLevels[0]); });
  FitOutcome outcome;
  std::optional<Candidate> plain = versions.Make(0, full_colors);
  std::future<FitOutcome> fewer;
  if (plain->size > budget) {
    const size_t size_full = plain->size;
    fewer = std::async(std::launch::async, [&versions, full_colors, size_full, budget] {
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

// The canvas in at most 256 colours: its own when it has no more, else
// quantised, as the best-looking version that fits or, when no fitting was
// asked for, with the full palette and full dithering. With smoothing asked
// for, a version that has to give something up is chosen by PSNR instead.
Candidate ChooseColors(const std::string& path, const QImage& canvas, const ImportOptions& options,
                       ImportReport& report) {
  if (std::optional<Candidate> exact = KeepExactColors(canvas, options, report)) return std::move(*exact);
  Quantizer quantizer(canvas);
  FitOutcome outcome =
      options.fit && options.smoothing ? FitByPsnr(canvas, quantizer, options) : FitByLooks(quantizer, options);
  report.first_size = outcome.first_size;
  report.candidates = outcome.probes;
  report.fitted = options.fit && outcome.first_size > options.budget;
  if (!outcome.chosen) throw ImportError(NoFitMessage(path, outcome, options.budget));
  report.smoothing = outcome.chosen->smoothing > 0 ? 1 : 0;
  report.smoothing_strength = static_cast<double>(outcome.chosen->smoothing) / kSmoothingSteps;
  return std::move(*outcome.chosen);
}

}  // namespace

size_t WelcomeDataSize(const Picture8& picture) {
  return 3 * picture.palette.size() +
         GzipF9Member(files::kPixelRows, picture.pixels.data(), picture.pixels.size()).size();
}

ImportedPicture ImportPicture(const std::string& path, const ImportOptions& options) {
  if (!options.caption) {
    if (std::optional<ImportedPicture> kept = KeepAcceptableBitmap(path, options)) return std::move(*kept);
  }

  const TargetSize target = [&options](const QSize& source) {
    return PlacePicture(source, options.fill, options.display, options.safe).size;
  };
  DecodedPicture decoded = ReadPicture(path, target);
  ImportReport report;
  report.warnings = std::move(decoded.warnings);
  report.source_width = decoded.size.width();
  report.source_height = decoded.size.height();
  const Placement placement = PlacePicture(decoded.size, options.fill, options.display, options.safe);
  report.placed_width = placement.size.width();
  report.placed_height = placement.size.height();
  report.scale = placement.scale;
  report.display = options.display;
  report.safe = options.safe;
  report.for_tv = options.for_tv;
  report.budget = options.budget;

  QImage canvas =
      PlaceOnCanvas(decoded.image, decoded.size, options.background, options.fill, options.display, options.safe);
  if (options.caption) {
    if (std::optional<std::string> warning = DrawCaption(canvas, *options.caption)) {
      report.warnings.push_back(std::move(*warning));
    }
  }
  Candidate chosen = ChooseColors(path, canvas, options, report);
  report.colors = static_cast<int>(chosen.picture.palette.size());
  report.dithering = chosen.dithering;
  report.size = chosen.size;
  report.psnr_db = Psnr(canvas, chosen.picture);
  if (options.for_tv) {
    for (std::string& warning : TvWarnings(MeasureForTv(canvas), report.scale, report.psnr_db, options.safe)) {
      report.warnings.push_back(std::move(warning));
    }
  }
  return ImportedPicture{std::move(chosen.picture), report};
}

ImportOptions TvImportOptions(Display display, SafeArea safe) {
  ImportOptions options;
  options.display = display;
  options.safe = safe;
  options.for_tv = true;
  options.smoothing = true;
  return options;
}

ImportReport ImportPictureFile(const std::string& path, const std::string& out, const ImportOptions& options) {
  const ImportedPicture imported = ImportPicture(path, options);
  WriteBitmap8(out, imported.picture, MadeFor::kImport);
  return imported.report;
}

ImportReport ImportPictureLogged(const std::string& path, const std::string& out, const ImportOptions& options) {
  try {
    ImportReport report = ImportPictureFile(path, out, options);
    WriteLog("ImportPicture: In=" + PrintableName(path) + ", Out=" + PrintableName(out) + ", " +
             SummarizeReport(report));
    return report;
  } catch (const std::exception& e) {
    WriteLog("ERROR: ImportPicture(" + PrintableName(path) + "), Msg=" + e.what());
    throw;
  }
}

std::optional<Rgb> ParseColor(const std::string& text) {
  const QColor color = QColor::fromString(QString::fromStdString(text));
  if (!color.isValid()) return std::nullopt;
  return Rgb{static_cast<uint8_t>(color.red()), static_cast<uint8_t>(color.green()),
             static_cast<uint8_t>(color.blue())};
}

}  // namespace kws
