#include "fit/import_decoded.h"

#include <optional>
#include <utility>

#include "fit/canvas_import.h"
#include "fit/measure.h"
#include "fit/tv_checks.h"

namespace kws {

ImportOptions TvImportOptions(Display display, SafeArea safe) {
  ImportOptions options;
  options.display = display;
  options.safe = safe;
  options.for_tv = true;
  options.by_seen = true;
  return options;
}

ImportedPicture ImportDecoded(const PictureToImport& picture, const ImportOptions& options) {
  // A caption changes the picture, so a bitmap with one is never kept.
  if (!options.caption) {
    ImportReport report;
    if (std::optional<Picture8> kept = KeepAcceptableBitmap(picture.path, options.fit, options.budget, report)) {
      return ImportedPicture{std::move(*kept), report};
    }
  }
  ImportCanvas placed = picture.place(options);
  ImportReport& report = placed.report;
  report.for_tv = options.for_tv;
  Picture8 reduced =
      ReduceCanvas(placed.canvas, picture.name, {options.fit, options.by_seen, options.budget, options.dither}, report);
  if (options.for_tv) {
    for (std::string& warning :
         TvWarnings(MeasureForTv(placed.canvas), report.scale, report.psnr_db, options.safe, options.words)) {
      report.warnings.push_back(std::move(warning));
    }
  }
  return ImportedPicture{std::move(reduced), std::move(report)};
}

}  // namespace kws
