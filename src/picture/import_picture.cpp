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
#include "fit/colour_choice.h"
#include "fit/measure.h"
#include "fit/smoothing.h"
#include "format/number_text.h"
#include "format/pipeline_files.h"
#include "log/activity_log.h"
#include "picture/canvas.h"
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

std::string NoFitMessage(const std::string& path, size_t smallest_size, size_t budget) {
  return PrintableName(path) + " cannot be made to fit the receivers: even down to " + std::to_string(kMinColors) +
         " colours without dithering, its smallest version takes " + GroupDigits(smallest_size) +
         " bytes of colour table and compressed picture, and the welcome image holds at most " + GroupDigits(budget) +
         ".";
}

}  // namespace

ImportedPicture ImportPicture(const std::string& path, const ImportOptions& options) {
  if (!options.caption) {
    if (std::optional<ImportedPicture> kept = KeepAcceptableBitmap(path, options)) return std::move(*kept);
  }

  const TargetSize target = [&options](const QSize& source) {
    return ToQSize(PlacePicture(source, options.fill, options.display, options.safe).size);
  };
  DecodedPicture decoded = ReadPicture(path, target);
  ImportReport report;
  report.warnings = std::move(decoded.warnings);
  report.source_width = decoded.size.width();
  report.source_height = decoded.size.height();
  const Placement placement = PlacePicture(decoded.size, options.fill, options.display, options.safe);
  report.placed_width = placement.size.width;
  report.placed_height = placement.size.height;
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
  const RgbaPicture pixels = ToRgba(canvas);
  ColourChoice choice = ChooseColors(pixels, {options.fit, options.smoothing, options.budget});
  report.first_size = choice.first_size;
  report.candidates = choice.candidates;
  report.fitted = choice.fitted;
  if (!choice.chosen) throw ImportError(NoFitMessage(path, choice.smallest_size, options.budget));
  Candidate chosen = std::move(*choice.chosen);
  report.smoothing = chosen.smoothing > 0 ? 1 : 0;
  report.smoothing_strength = static_cast<double>(chosen.smoothing) / kSmoothingSteps;
  report.colors = static_cast<int>(chosen.picture.palette.size());
  report.dithering = chosen.dithering;
  report.size = chosen.size;
  report.psnr_db = Psnr(pixels, chosen.picture);
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
