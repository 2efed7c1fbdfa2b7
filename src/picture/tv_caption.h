// One line of text on the picture (a version, an owner's name), drawn before
// its colours are reduced: inside the title-safe area, in DejaVu Sans Bold,
// strokes three or more pixels thick so that it does not flicker on an
// interlaced TV.
#pragma once

#include <QImage>
#include <optional>
#include <string>

#include "format/bitmap.h"

namespace kws {

enum class CaptionPosition { kTop, kBottom };

struct Caption {
  std::string text;
  CaptionPosition position = CaptionPosition::kBottom;
  Rgb color{235, 235, 235};  // light grey: pure white blooms on many TVs
};

// "top", "bottom"; nothing for anything else.
std::optional<CaptionPosition> ParseCaptionPosition(const std::string& text);

// The largest and smallest letter height tried, in pixels: a caption too
// long for the title-safe width at the largest is set smaller, and one too
// long at the smallest is cut short with an ellipsis.
inline constexpr int kCaptionPixelSize = 28;
inline constexpr int kMinCaptionPixelSize = 18;

// Draws the caption on a 720 x 576 canvas, with a dark shadow below right
// so that it reads on any picture; all of it within the title-safe area.
// Returns a warning when some of its characters are in no font here and are
// drawn as boxes. Throws ImportError when no font can be found.
std::optional<std::string> DrawCaption(QImage& canvas, const Caption& caption);

}  // namespace kws
