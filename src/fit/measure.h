// What a palette picture is, measured against the picture it was made from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "fit/rgba_picture.h"
#include "format/bitmap.h"

namespace kws {

// A canvas of at most 256 colours as exactly those colours, in the order
// they first appear; nothing for a canvas of more.
std::optional<Picture8> ExactColors(const RgbaPicture& canvas);

// The sum of the squared differences of red, green and blue between the
// 8-bit picture and the canvas: what Psnr counts, exactly.
uint64_t SquaredError(const RgbaPicture& canvas, const Picture8& picture);

// Peak signal-to-noise ratio of the 8-bit picture against the canvas, in dB
// over the red, green and blue samples; infinite when they are equal.
double Psnr(const RgbaPicture& canvas, const Picture8& picture);

// How far the picture is from the canvas as seen on a TV from the sofa: both
// blurred by a Gaussian of sigma 1 pixel (radius 3, edges repeated) over red,
// green and blue before they are compared, which averages fine dithering out
// as the eye and the TV's own softness do, while banding and lost detail
// remain. Integer weights and sums, so every platform gets the same figure:
// the sum of the squared blurred differences, in 1/65,536ths of a level
// squared. Smaller is closer; 0 only for equal pictures.
uint64_t SeenError(const RgbaPicture& canvas, const Picture8& picture);

// PSNR as seen: SeenError as dB like Psnr; infinite for 0.
double PsnrAsSeen(const RgbaPicture& canvas, const Picture8& picture);

// An error in SeenError's units over a picture of this many pixels, as dB.
double SeenErrorDb(uint64_t error, size_t pixels);

}  // namespace kws
