// A test card for the receivers' welcome screen: flashed once, it shows how
// much of the frame the TV hides and whether it shows the frame as 4:3 or
// 16:9.
#pragma once

#include "format/bitmap.h"

namespace kws {

// A 720 x 576, 8-bit picture of a few colours that fits the smaller
// partition easily: on a grey field, a grid of squares and a circle that are
// square and round on a 4:3 TV (wider on a 16:9 one), the action-safe
// (yellow) and title-safe (cyan) frames, and at each edge lines numbered
// with the overscan, in percent, at which they disappear. Every line and
// stroke is at least two pixels thick, so nothing flickers on an interlaced
// TV.
Picture8 MakeTestCard();

}  // namespace kws
