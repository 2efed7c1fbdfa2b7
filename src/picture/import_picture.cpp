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
#include "fit/bitmap_file.h"
#include "fit/canvas_import.h"
#include "fit/measure.h"
#include "format/number_text.h"
#include "format/pipeline_files.h"
#include "log/activity_log.h"
#include "picture/canvas.h"
#include "picture/caption_band.h"
#include "picture/tv_checks.h"

namespace kws {

ImportedPicture ImportPicture(const std::string& path, const ImportOptions& options) {
  return ImportDecoded({path, path, [&path](const ImportOptions& asked) { return PlaceForImport(path, asked); }},
                       options);
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

ImportReport ImportPictureFile(const std::string& path, const std::string& out, const ImportOptions& options) {
  const ImportedPicture imported = ImportPicture(path, options);
  WriteBitmap8(out, imported.picture, MadeFor::kImport);
  return imported.report;
}

namespace {

// The import's line in the activity log around making and writing the bitmap.
template <class Make>
ImportReport Logged(const std::string& path, const std::string& out, const DestinationCheck& target, WrittenTo* written,
                    Make make) {
  try {
    const ImportedPicture imported = make();
    *written = WriteJudged(out, target, EncodeBitmap8(imported.picture));
    WriteLog("ImportPicture: In=" + PrintableName(path) + ", Out=" + PrintableName(written->name) + ", " +
             SummarizeReport(imported.report));
    return imported.report;
  } catch (const std::exception& e) {
    WriteLog("ERROR: ImportPicture(" + PrintableName(path) + "), Msg=" + e.what());
    throw;
  }
}

}  // namespace

ImportReport ImportPictureLogged(const std::string& path, const std::string& out, const ImportOptions& options,
                                 const DestinationCheck& target, WrittenTo* written) {
  return Logged(path, out, target, written, [&] { return ImportPicture(path, options); });
}

ImportReport WriteImportLogged(const std::string& path, const std::string& out, const ImportedPicture& imported,
                               const DestinationCheck& target, WrittenTo* written) {
  return Logged(path, out, target, written, [&] { return imported; });
}

std::optional<Rgb> ParseColor(const std::string& text) {
  const QColor color = QColor::fromString(QString::fromStdString(text));
  if (!color.isValid()) return std::nullopt;
  return Rgb{static_cast<uint8_t>(color.red()), static_cast<uint8_t>(color.green()),
             static_cast<uint8_t>(color.blue())};
}

}  // namespace kws
