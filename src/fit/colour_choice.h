// The import's colour choice: a canvas in at most 256 colours, the version
// that looks best within the receivers' budget. Plain bytes in and out, so
// that the desktop programs and the browser page choose alike.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "fit/dither_choice.h"
#include "fit/fit.h"
#include "fit/rgba_picture.h"
#include "format/bitmap.h"
#include "format/welcome_image.h"

namespace kws {

struct ColourChoiceOptions {
  bool fit = true;       // search for a version within the budget
  bool by_seen = false;  // versions of every kind, chosen by PSNR as seen (see seen_search.h)
  size_t budget = welcome::kMaxDataLength;
  // The dithering the versions chosen by PSNR as seen may have, fitted or
  // not (see dither_choice.h).
  DitherKind dither = DitherKind::kAuto;
};

struct ColourChoice {
  std::optional<Candidate> chosen;  // nothing when not even 2 colours fit
  size_t first_size = 0;            // the first version's size: the exact colours, or the full palette dithered
  size_t smallest_size = 0;         // the smallest size measured
  int candidates = 0;               // versions made and measured
  bool fitted = false;              // the first version was too big, and a smaller one was sought
  bool exact = false;               // the canvas's own colours, kept exactly
};

// The canvas (opaque) in at most 256 colours: its own when it has no more,
// else quantised, as the best-looking version that fits or, when no fitting
// was asked for, in the full palette with the dithering the kind takes. With
// by_seen, a version that has to give something up is chosen by PSNR as
// seen instead, and the kind has its say in that choice.
// Throws ImportError when libimagequant fails.
ColourChoice ChooseColors(const RgbaPicture& canvas, const ColourChoiceOptions& options);

// Why the picture called name cannot be made to fit, when not even the
// smallest version measured (smallest_size) does: the desktop's and the
// page's words.
std::string NoFitMessage(const std::string& name, size_t smallest_size, size_t budget);

// The bytes the colour table and the gzip member of the picture take in the
// welcome image: what the budget is measured against.
size_t WelcomeDataSize(const Picture8& picture);

}  // namespace kws
