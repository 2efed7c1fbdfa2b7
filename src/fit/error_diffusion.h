// Floyd-Steinberg error diffusion of our own, beside libimagequant's: that
// one limits the error it carries, which keeps photos clean but leaves
// random noise, where every pixel's error is large, closer to flat than the
// eye sees it. Each pixel takes the entry nearest to its colour plus the
// errors its neighbours passed on (7/16 ahead, 3/16, 5/16 and 1/16 below),
// rows in alternating directions so no drift runs one way. Integer
// arithmetic in sixteenths, so every platform maps alike.
#pragma once

#include <vector>

#include "fit/rgba_picture.h"
#include "format/bitmap.h"

namespace kws {

// The canvas (opaque) mapped to the palette (1 to 256 colours) with full
// error diffusion.
Picture8 DiffuseErrors(const RgbaPicture& canvas, const std::vector<Rgb>& palette);

}  // namespace kws
