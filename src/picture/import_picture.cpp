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
#include "format/pipeline_files.h"
#include "log/activity_log.h"
#include "picture/canvas.h"
#include "picture/fit.h"
#include "picture/quantizer.h"
#include "picture/report_text.h"
#include "picture/tv_checks.h"
#include "steps/bitmap8.h"
#include "steps/gzip_f9.h"

namespace kws {

namespace {

constexpr double kNoLoss = std::numeric_limits<double>::infinity();

// The passes of smoothing tried when a picture has to give up detail to
// fit: one is light enough to keep edges and takes most of the grain.
constexpr int kSmoothingPasses = 1;

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

// The canvas lightly smoothed: each sample weighed 1:2:1 with its neighbours
// across, then down, passes times. Grain and dither noise cost the gzip
// member most; smoothed away, more colours fit in the same bytes.
QImage Smoothed(const QImage& canvas, int passes) {
  QImage out = canvas.convertToFormat(QImage::Format_RGBA8888);
  const int w = out.width(), h = out.height();
  std::vector<uint8_t> across(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < h; ++y) {
      const uchar* row = out.constScanLine(y);
      uint8_t* to = across.data() + static_cast<size_t>(y) * w * 4;
      for (int x = 0; x < w; ++x) {
        const int l = std::max(x - 1, 0) * 4, c = x * 4, r = std::min(x + 1, w - 1) * 4;
        for (int k = 0; k < 4; ++k) {
          to[c + k] = static_cast<uint8_t>((row[l + k] + 2 * row[c + k] + row[r + k] + 2) / 4);
        }
      }
    }
    for (int y = 0; y < h; ++y) {
      const uint8_t* up = across.data() + static_cast<size_t>(std::max(y - 1, 0)) * w * 4;
      const uint8_t* mid = across.data() + static_cast<size_t>(y) * w * 4;
      const uint8_t* down = across.data() + static_cast<size_t>(std::min(y + 1, h - 1)) * w * 4;
      uchar* to = out.scanLine(y);
      for (int i = 0; i < w * 4; ++i) to[i] = static_cast<uint8_t>((up[i] + 2 * mid[i] + down[i] + 2) / 4);
    }
  }
  return out;
}

// The best-looking version of picture (the canvas, or the canvas smoothed)
// that fits, with how it was found.
struct Fitted {
  FitOutcome outcome;
  int full_colors = 0;
};

// over_budget is called, once, as soon as a version is seen not to fit.
Fitted FitVersion(const QImage& picture, const QImage& canvas, const ImportOptions& options,
                  const std::function<void()>& over_budget = {}) {
  Quantizer quantizer(picture);
  Fitted fitted;
  fitted.full_colors = quantizer.FullColors();
  bool told = false;
  const MakeCandidate make = [&](int colors, double dithering) {
    Picture8 result = colors < fitted.full_colors ? quantizer.Reduce(colors) : quantizer.Remap(dithering);
    Candidate candidate = Measured(std::move(result), colors, dithering);
    if (!told && over_budget && candidate.size > options.budget) {
      told = true;
      over_budget();
    }
    return candidate;
  };
  if (!options.fit) {
    Candidate full = make(fitted.full_colors, kDitherLevels[0]);
    fitted.outcome.first_size = full.size;
    fitted.outcome.smallest_size = full.size;
    fitted.outcome.probes = 1;
    fitted.outcome.chosen = std::move(full);
    return fitted;
  }
  fitted.outcome = SearchFit(fitted.full_colors, options.budget, make);
  // Dithering that had to be cut back to fit scatters noise for little
  // gain; the full palette without it (which fits, or the cut would not have
  // been tried) is taken when it is closer to the canvas.
  std::optional<Candidate>& chosen = fitted.outcome.chosen;
  if (options.smoothing && chosen && chosen->dithering > 0 && chosen->size != fitted.outcome.first_size) {
    Candidate plain = make(fitted.full_colors, 0.0);
    ++fitted.outcome.probes;
    if (Psnr(canvas, plain.picture) > Psnr(canvas, chosen->picture)) chosen = std::move(plain);
  }
  return fitted;
}

// The canvas in at most 256 colours: its own when it has no more, else
// quantised, as the best-looking version that fits or, when no fitting was
// asked for, with the full palette and full dithering. When something had
// to be given up to fit and smoothing is asked for, a lightly smoothed
// version is searched as well, and the one closest to the canvas itself
// (by PSNR) is taken.
Candidate ChooseColors(const std::string& path, const QImage& canvas, const ImportOptions& options,
                       ImportReport& report) {
  if (std::optional<Candidate> exact = KeepExactColors(canvas, options, report)) return std::move(*exact);
  // The smoothed version's search starts on a thread of its own as soon as
  // the picture is seen not to fit as it is, beside the rest of this one's.
  std::future<Fitted> smoothed;
  const auto start_smoothed = [&] {
    smoothed = std::async(std::launch::async, [&canvas, &options] {
      return FitVersion(Smoothed(canvas, kSmoothingPasses), canvas, options);
    });
  };
  Fitted plain = FitVersion(canvas, canvas, options,
                            options.fit && options.smoothing ? std::function<void()>(start_smoothed) : nullptr);
  FitOutcome& outcome = plain.outcome;
  report.first_size = outcome.first_size;
  report.candidates = outcome.probes;
  if (!options.fit) return std::move(*outcome.chosen);
  report.fitted = outcome.first_size > options.budget;
  if (smoothed.valid()) {
    Fitted version = smoothed.get();
    report.candidates += version.outcome.probes;
    outcome.smallest_size = std::min(outcome.smallest_size, version.outcome.smallest_size);
    if (version.outcome.chosen &&
        (!outcome.chosen || Psnr(canvas, version.outcome.chosen->picture) > Psnr(canvas, outcome.chosen->picture))) {
      outcome.chosen = std::move(version.outcome.chosen);
      report.smoothing = kSmoothingPasses;
    }
  }
  if (!outcome.chosen) throw ImportError(NoFitMessage(path, outcome, options.budget));
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

  DecodedPicture decoded = ReadPicture(path);
  const QImage& picture = decoded.image;
  ImportReport report;
  report.warnings = std::move(decoded.warnings);
  report.source_width = picture.width();
  report.source_height = picture.height();
  const Placement placement = PlacePicture(picture.size(), options.fill, options.display, options.safe);
  report.placed_width = placement.size.width();
  report.placed_height = placement.size.height();
  report.scale = placement.scale;
  report.display = options.display;
  report.safe = options.safe;
  report.for_tv = options.for_tv;
  report.budget = options.budget;

  QImage canvas = PlaceOnCanvas(picture, options.background, options.fill, options.display, options.safe);
  if (options.caption) DrawCaption(canvas, *options.caption);
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
  WriteBitmap8(out, imported.picture);
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
