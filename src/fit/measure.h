// What a palette picture is, measured against the picture it was made from.
#pragma once

#include <optional>

#include "fit/rgba_picture.h"
#include "format/bitmap.h"

namespace kws {

// A canvas of at most 256 colours as exactly those colours, in the order
// they first appear; nothing for a canvas of more.
std::optional<Picture8> ExactColors(const RgbaPicture& canvas);

// Peak signal-to-noise ratio of the 8-bit picture against the canvas, in dB
// over the red, green and blue samples; infinite when they are equal.
double Psnr(const RgbaPicture& canvas, const Picture8& picture);

}  // namespace kws
