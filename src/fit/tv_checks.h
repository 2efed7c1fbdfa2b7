// What a picture does on a TV that the file does not show: the checks behind
// the import's warnings for a TV user. Each measure is simple enough to state
// in the warning it leads to.
#pragma once

#include <string>
#include <vector>

#include "fit/placement.h"
#include "fit/rgba_picture.h"
#include "format/advice_words.h"

namespace kws {

// Scaled up more than this, a picture looks soft or blocky.
inline constexpr double kMaxUpscale = 3.0;
// Below this, colour reduction shows as banding or speckle.
inline constexpr double kMinPsnrDb = 28.0;
// A difference in brightness (0 to 255, Rec. 601 luma) that the eye takes
// for an edge.
inline constexpr int kStrongDifference = 64;
// Edges in more than this share of the frame's outer strip (outside the
// action-safe area) are details a TV may hide.
inline constexpr double kMaxEdgesOutsideSafe = 0.005;
// More than this share of one-pixel-thin horizontal strokes flickers on an
// interlaced TV.
inline constexpr double kMaxThinLines = 0.01;
// Pure white (each of red, green and blue 250 or more) over more than this
// share of the frame blooms on many TVs.
inline constexpr double kMaxWhite = 0.10;

struct TvMeasures {
  // Of the pixels outside the action-safe area, the share that differ
  // strongly from their right or lower neighbour.
  double edges_outside_safe = 0;
  // Of the pixels with a row above and below, the share that are strongly
  // brighter than both, or strongly darker than both: strokes one pixel high.
  double thin_lines = 0;
  // The share of the frame that is pure white.
  double white = 0;
};

// The measures of a 720 x 576 canvas.
TvMeasures MeasureForTv(const RgbaPicture& canvas);

// How the user asks for the picture to be fitted into a safe area, in the
// front end's words ("--safe action", "choose Safe area: action-safe").
std::string SafeAreaChoice(SafeArea safe, AdviceWords words);

// The warnings, each with what to do: scale is how much the picture grew,
// psnr_db the result against the canvas, safe the area it was fitted into.
std::vector<std::string> TvWarnings(const TvMeasures& measures, double scale, double psnr_db, SafeArea safe,
                                    AdviceWords words = AdviceWords::kCommandLine);

}  // namespace kws
