#include "picture/import_picture.h"

#include <QColor>
#include <QImage>
#include <cmath>
#include <limits>
#include <utility>

#include "fileio/file.h"
#include "log/activity_log.h"
#include "picture/canvas.h"
#include "picture/fit.h"
#include "picture/quantizer.h"
#include "picture/report_text.h"
#include "steps/gzip_f9.h"

namespace kws {

namespace {

// The name under which the pipeline's gzip step stores the pixel rows; it is
// part of the member and so of the size.
constexpr const char* kRawName = "welcome.qv.raw2";

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
         " bytes of colour table and compressed picture, and the welcome image holds at most " +
         GroupDigits(budget) + ".";
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

// The canvas in at most 256 colours: its own when it has no more, else
// quantised, as the best-looking version that fits or, when no fitting was
// asked for, with the full palette and full dithering.
Candidate ChooseColors(const std::string& path, const QImage& canvas, const ImportOptions& options,
                   ImportReport& report) {
  if (std::optional<Candidate> exact = KeepExactColors(canvas, options, report)) return std::move(*exact);
  Quantizer quantizer(canvas);
  const int full_colors = quantizer.FullColors();
  const MakeCandidate make = [&](int colors, double dithering) {
    Picture8 picture = colors < full_colors ? quantizer.Reduce(colors) : quantizer.Remap(dithering);
    return Measured(std::move(picture), colors, dithering);
  };
  if (!options.fit) {
    Candidate full = make(full_colors, kDitherLevels[0]);
    report.first_size = full.size;
    report.candidates = 1;
    return full;
  }
  FitOutcome outcome = SearchFit(full_colors, options.budget, make);
  if (!outcome.chosen) throw ImportError(NoFitMessage(path, outcome, options.budget));
  report.first_size = outcome.first_size;
  report.candidates = outcome.probes;
  report.fitted = outcome.first_size > options.budget;
  return std::move(*outcome.chosen);
}

}  // namespace

size_t WelcomeDataSize(const Picture8& picture) {
  return 3 * picture.palette.size() + GzipF9Member(kRawName, picture.pixels.data(), picture.pixels.size()).size();
}

ImportedPicture ImportPicture(const std::string& path, const ImportOptions& options) {
  if (std::optional<ImportedPicture> kept = KeepAcceptableBitmap(path, options)) return std::move(*kept);

  DecodedPicture decoded = ReadPicture(path);
  const QImage& picture = decoded.image;
  ImportReport report;
  report.warnings = std::move(decoded.warnings);
  report.source_width = picture.width();
  report.source_height = picture.height();
  const QSize placed = PlacedSize(picture.size(), options.fill);
  report.placed_width = placed.width();
  report.placed_height = placed.height();
  report.budget = options.budget;

  const QImage canvas = PlaceOnCanvas(picture, options.background, options.fill);
  Candidate chosen = ChooseColors(path, canvas, options, report);
  report.colors = static_cast<int>(chosen.picture.palette.size());
  report.dithering = chosen.dithering;
  report.size = chosen.size;
  report.psnr_db = Psnr(canvas, chosen.picture);
  return ImportedPicture{std::move(chosen.picture), report};
}

ImportReport ImportPictureFile(const std::string& path, const std::string& out, const ImportOptions& options) {
  const ImportedPicture imported = ImportPicture(path, options);
  WriteFileReplacing(out, EncodeBitmap8(imported.picture));
  return imported.report;
}

ImportReport ImportPictureLogged(const std::string& path, const std::string& out, const ImportOptions& options) {
  try {
    const ImportReport report = ImportPictureFile(path, out, options);
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
