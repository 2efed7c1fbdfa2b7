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
#include "fit/canvas_import.h"
#include "fit/measure.h"
#include "format/number_text.h"
#include "format/pipeline_files.h"
#include "log/activity_log.h"
#include "picture/canvas.h"
#include "picture/caption_band.h"
#include "picture/tv_checks.h"
#include "steps/bitmap8.h"
#include "steps/gzip_f9.h"

namespace kws {

ImportedPicture ImportPicture(const std::string& path, const ImportOptions& options) {
  if (!options.caption) {
    ImportReport report;
    if (std::optional<Picture8> kept = KeepAcceptableBitmap(path, options.fit, options.budget, report)) {
      return ImportedPicture{std::move(*kept), report};
    }
  }

  ImportCanvas placed = PlaceForImport(path, options);
  ImportReport& report = placed.report;
  const RgbaPicture& pixels = placed.canvas;
  Picture8 picture = ReduceCanvas(pixels, path, {options.fit, options.by_seen, options.budget, options.dither}, report);
  if (options.for_tv) {
    for (std::string& warning : TvWarnings(MeasureForTv(pixels), report.scale, report.psnr_db, options.safe)) {
      report.warnings.push_back(std::move(warning));
    }
  }
  return ImportedPicture{std::move(picture), report};
}

ImportCanvas PlaceForImport(const std::string& path, const ImportOptions& options) {
  const TargetSize target = [&options](const QSize& source) {
    return ToQSize(PlacePicture(source, options.fill, options.display, options.safe).size);
  };
  DecodedPicture decoded = ReadPicture(path, target);
  ImportReport report;
  report.warnings = std::move(decoded.warnings);
  ReportPlacement(FromQSize(decoded.size), options.fill, options.display, options.safe, report);
  report.for_tv = options.for_tv;

  QImage canvas =
      PlaceOnCanvas(decoded.image, decoded.size, options.background, options.fill, options.display, options.safe);
  if (options.caption && options.caption->band && !options.caption->text.empty()) {
    const Placement placement = PlacePicture(decoded.size, options.fill, options.display, options.safe);
    canvas = LeaveRoomForBand(canvas, placement, *options.caption, options.background, report);
  }
  if (options.caption) {
    if (std::optional<std::string> warning = DrawCaption(canvas, *options.caption)) {
      report.warnings.push_back(std::move(*warning));
    }
  }
  return ImportCanvas{ToRgba(canvas), std::move(report)};
}

QImage PlacedPicture(const std::string& path, const ImportOptions& options) {
  return ToQImage(PlaceForImport(path, options).canvas);
}

ImportOptions TvImportOptions(Display display, SafeArea safe) {
  ImportOptions options;
  options.display = display;
  options.safe = safe;
  options.for_tv = true;
  options.by_seen = true;
  return options;
}

ImportReport ImportPictureFile(const std::string& path, const std::string& out, const ImportOptions& options) {
  const ImportedPicture imported = ImportPicture(path, options);
  WriteBitmap8(out, imported.picture, MadeFor::kImport);
  return imported.report;
}

namespace {

// The import's line in the activity log around making and writing the bitmap.
template <class Make>
ImportReport Logged(const std::string& path, const std::string& out, Make make) {
  try {
    const ImportedPicture imported = make();
    WriteBitmap8(out, imported.picture, MadeFor::kImport);
    WriteLog("ImportPicture: In=" + PrintableName(path) + ", Out=" + PrintableName(out) + ", " +
             SummarizeReport(imported.report));
    return imported.report;
  } catch (const std::exception& e) {
    WriteLog("ERROR: ImportPicture(" + PrintableName(path) + "), Msg=" + e.what());
    throw;
  }
}

}  // namespace

ImportReport ImportPictureLogged(const std::string& path, const std::string& out, const ImportOptions& options) {
  return Logged(path, out, [&] { return ImportPicture(path, options); });
}

ImportReport WriteImportLogged(const std::string& path, const std::string& out, const ImportedPicture& imported) {
  return Logged(path, out, [&] { return imported; });
}

std::optional<Rgb> ParseColor(const std::string& text) {
  const QColor color = QColor::fromString(QString::fromStdString(text));
  if (!color.isValid()) return std::nullopt;
  return Rgb{static_cast<uint8_t>(color.red()), static_cast<uint8_t>(color.green()),
             static_cast<uint8_t>(color.blue())};
}

}  // namespace kws
