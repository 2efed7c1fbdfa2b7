// Light smoothing of a canvas before its colours are reduced. Grain and
// dither noise cost the gzip member most; smoothed away, more colours fit in
// the same bytes.
#pragma once

#include "fit/rgba_picture.h"

namespace kws {

// The strengths of the last pass, counted in sixteenths: twice as fine as
// the dithering levels, so that a budget can be met closely.
inline constexpr int kSmoothingSteps = 16;

// The canvas with each sample weighed 1:2:1 with its neighbours across, then
// down, passes times.
RgbaPicture Smoothed(const RgbaPicture& canvas, int passes);

// Part of the way from the canvas to smoothed: steps of kSmoothingSteps.
// Milder than a pass.
RgbaPicture Blended(const RgbaPicture& canvas, const RgbaPicture& smoothed, int steps);

}  // namespace kws
