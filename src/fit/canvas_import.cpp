#include "fit/canvas_import.h"

#include <limits>
#include <utility>

#include "fit/bitmap_file.h"
#include "fit/import_error.h"
#include "fit/measure.h"

namespace kws {

std::optional<Picture8> KeepAcceptableBitmap(const std::string& path, bool fit, size_t budget, ImportReport& report) {
  std::optional<Picture8> bitmap = ReadConvertibleBitmap(path);
  if (!bitmap) return std::nullopt;
  ImportReport kept;
  kept.source_width = kept.placed_width = kPictureWidth;
  kept.source_height = kept.placed_height = kPictureHeight;
  kept.unchanged = true;
  kept.colors = static_cast<int>(bitmap->palette.size());
  kept.first_size = kept.size = WelcomeDataSize(*bitmap);
  kept.budget = budget;
  kept.psnr_db = kept.psnr_seen_db = std::numeric_limits<double>::infinity();  // nothing lost
  if (fit && !kept.Fits()) return std::nullopt;
  report = std::move(kept);
  return bitmap;
}

void ReportPlacement(const Size& source, bool fill, Display display, SafeArea safe, ImportReport& report) {
  const Placement placement = PlacePicture(source, fill, display, safe);
  report.source_width = source.width;
  report.source_height = source.height;
  report.placed_width = placement.size.width;
  report.placed_height = placement.size.height;
  report.scale = placement.scale;
  report.display = display;
  report.safe = safe;
}

Picture8 ReduceCanvas(const RgbaPicture& canvas, const std::string& name, const ColourChoiceOptions& options,
                      ImportReport& report) {
  report.budget = options.budget;
  ColourChoice choice = ChooseColors(canvas, options);
  report.first_size = choice.first_size;
  report.candidates = choice.candidates;
  report.fitted = choice.fitted;
  if (!choice.chosen) throw ImportError(NoFitMessage(name, choice.smallest_size, options.budget));
  Candidate chosen = std::move(*choice.chosen);
  report.colors = static_cast<int>(chosen.picture.palette.size());
  report.dithering = chosen.dithering;
  report.dithered = DitheredOf(chosen);
  report.dither_why = DitherReason(options.dither, report.dithered, choice.exact);
  report.size = chosen.size;
  report.psnr_db = Psnr(canvas, chosen.picture);
  report.psnr_seen_db = PsnrAsSeen(canvas, chosen.picture);
  return std::move(chosen.picture);
}

}  // namespace kws
