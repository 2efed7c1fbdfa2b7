// The import's steps after decoding, on plain RGBA: the picture placed for the
// TV, its colours chosen, and the report filled in as it goes. The desktop
// programs and the browser page both import through here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "fit/colour_choice.h"
#include "fit/import_report.h"
#include "fit/placement.h"
#include "format/bitmap.h"

namespace kws {

// A bitmap the pipeline takes as it is (read from path), when within the
// budget or when no fitting was asked for: kept, pixels and palette, and the
// report says so. Nothing for any other file.
std::optional<Picture8> KeepAcceptableBitmap(const std::string& path, bool fit, size_t budget, ImportReport& report);

// How a picture of its own size source is placed, into the report.
void ReportPlacement(const Size& source, bool fill, Display display, SafeArea safe, ImportReport& report);

// The placed canvas in at most 256 colours (ChooseColors), the choice and
// its PSNR against the canvas into the report. Throws ImportError saying why
// when not even the smallest version fits; name is the picture's, for it.
Picture8 ReduceCanvas(const RgbaPicture& canvas, const std::string& name, const ColourChoiceOptions& options,
                      ImportReport& report);

}  // namespace kws
