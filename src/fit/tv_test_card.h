// A test card for the receivers' welcome screen: flashed once, it shows how
// much of the frame the TV hides and whether it shows the frame as 4:3 or
// 16:9.
#pragma once

#include <vector>

#include "fit/placement.h"
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

// The colours of the overscan marks' lines and of their numbers.
inline constexpr Rgb kOverscanLineColor{255, 80, 80};
inline constexpr Rgb kOverscanLabelColor{235, 235, 200};
// Between a mark's line and its number: two pixels, so that no one-pixel
// line flickers between them.
inline constexpr int kOverscanLabelGap = 2;
// Around a number nothing but the field, so that no guide line runs through
// its digits.
inline constexpr int kOverscanLabelMargin = 2;

// One overscan mark: the line where a TV hiding this much of the frame cuts
// it, and the number beside it on the side that stays visible, centred
// along the line.
struct OverscanMark {
  int percent;
  Rect line;
  Rect label;  // the digits' box
};

// The marks the card draws, at all four edges.
std::vector<OverscanMark> OverscanMarks();

}  // namespace kws
